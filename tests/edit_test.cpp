// Number editing on output: table fields and console list items.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edit.h"
#include "list_line.h"
#include "reference_edit.h"
#include "shared_types.h"
#include "writer.h"

namespace {

std::string f3(float value, int width) {
  char field[16];
  cdmg::edit_f3(field, width, value);
  return std::string(field, static_cast<std::size_t>(width));
}

std::string reference_f3(float value, int width) {
  return reference::f3(value, width);
}

TEST(EditF, TenColumnExamples) {
  struct Case {
    float value;
    const char *field;
  };
  const Case cases[] = {
      {0.0f, "     0.000"},
      {-0.0f, "     0.000"},
      {0.5f, "     0.500"},
      {-1.5f, "    -1.500"},
      {0.1234f, "     0.123"},
      {-0.0004f, "     0.000"},
      {-0.0006f, "    -0.001"},
      {123.4567f, "   123.457"},
      {-98765.43f, "-98765.430"},
      {999999.9f, "999999.875"},
      {-99999.99f, "-99999.992"},
      {1000000.0f, "**********"},
      {-100000.0f, "**********"},
      {3.4e38f, "**********"},
      {1e-40f, "     0.000"},
      {std::numeric_limits<float>::infinity(), "       inf"},
      {-std::numeric_limits<float>::infinity(), "      -inf"},
  };
  for (const auto &c : cases) EXPECT_EQ(f3(c.value, 10), c.field) << c.value;
}

TEST(EditF, RowsAndTheirTimeColumn) {
  struct Case {
    int row;
    const char *time;
  };
  const Case cases[] = {{1, "  0.000"},     {2, "  0.010"},      {3, "  0.020"},
                        {101, "  1.000"},   {1001, " 10.000"},   {10001, "100.000"},
                        {33000, "329.990"}, {100000, "999.990"}, {100001, "*******"}};
  for (const auto &c : cases) {
    char row[cdmg::kRowBytes];
    cdmg::format_row(row, c.row, 0.01f, 1.234f, -0.5678f, 12.5f);
    EXPECT_EQ(std::string(row, sizeof row),
              std::string(c.time) + ",     1.234,    -0.568,    12.500\r\n");
  }
  // The counted times, from rows of both parities of a hundred, are the
  // edited ones on every row they cover.
  std::vector<char> rows(cdmg::kLastCountedRow * cdmg::kRowBytes);
  for (const std::int32_t first : {1, 38}) {
    const std::int32_t count = cdmg::kLastCountedRow - first + 1;
    cdmg::edit_counted_times(rows.data(), first, count);
    for (std::int32_t k = 0; k < count; ++k) {
      char one[cdmg::kRowBytes];
      cdmg::format_row(one, first + k, cdmg::kSampleInterval, 0.0f, 0.0f, 0.0f);
      ASSERT_EQ(std::string(&rows[static_cast<std::size_t>(k) * cdmg::kRowBytes], 8),
                std::string(one, 8))
          << "row " << first + k;
    }
  }
}

#if CDMG_HAVE_SSE2
// The SSE2 editing of four rows' values is the plain twin's wherever it
// takes them, and declines only where a value needs the general editing.
TEST(EditF, FourRowValuesAreSingleRows) {
  std::mt19937 random(2024);
  const float specials[] = {
      0.0f,      -0.0f,      -0.0004f, 0.0005f,   -0.0005f,
      999.9995f, -999.9995f, 999.999f, -99.9996f, 1000.0f,
      -1000.0f,  1e30f,      -1e-30f,  123.4565f, -0.0015f,
      999999.9f, -99999.99f, 1e6f,     -1e5f,     std::numeric_limits<float>::infinity()};
  int taken = 0;
  for (int block = 0; block < 400000; ++block) {
    float columns[3][4];
    for (auto &column : columns) {
      for (float &value : column) {
        const auto pick = random() % 8;
        value = pick == 0 ? specials[random() % std::size(specials)]
                : pick == 1
                    ? static_cast<float>(static_cast<int>(random() % 2000001) - 1000000) / 1000.0f
                    : std::ldexp(static_cast<float>(random() % 16777216) / 16777216.0f,
                                 static_cast<int>(random() % (block % 2 ? 16 : 28)) - 6) *
                          (random() % 2 ? 1.0f : -1.0f);
      }
    }
    char fast[4 * cdmg::kRowBytes];
    char plain[4 * cdmg::kRowBytes];
    cdmg::plain::edit_values4(plain, columns[0], columns[1], columns[2]);
    const std::string expected(plain, sizeof plain);
    if (cdmg::sse2::edit_values4(fast, columns[0], columns[1], columns[2])) {
      ++taken;
      for (int k = 0; k < 4; ++k) {
        const std::size_t at = static_cast<std::size_t>(k) * cdmg::kRowBytes + 8;
        ASSERT_EQ(std::string(fast + at, cdmg::kRowBytes - 8),
                  expected.substr(at, cdmg::kRowBytes - 8))
            << "block " << block << " row " << k;
      }
    } else {
      EXPECT_TRUE(expected.find_first_of("*n") != std::string::npos) << expected;
    }
  }
  EXPECT_GT(taken, 100000);
}
#endif

// Every magnitude exactly halfway between two three-decimal results is a
// multiple of 1/16; these and a spread of bit patterns must agree with the
// C library's correctly rounded conversion.
TEST(EditF, AgreesWithCLibrary) {
  for (int k = -2000000; k <= 2000000; k += 1) {
    const float value = static_cast<float>(k) / 16.0f;
    ASSERT_EQ(f3(value, 10), reference_f3(value, 10)) << value;
  }
  std::mt19937 random(12345);
  for (int k = 0; k < 1000000; ++k) {
    const std::uint32_t bits = static_cast<std::uint32_t>(random());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue;
    ASSERT_EQ(f3(value, 10), reference_f3(value, 10)) << value;
    ASSERT_EQ(f3(value, 7), reference_f3(value, 7)) << value;
  }
  // Around every field boundary and power of ten.
  for (double edge : {0.0005, 0.9995, 9.9995, 99.9995, 999.9995, 9999.9995, 99999.9995, 999999.9995,
                      1.0, 10.0, 100.0, 1000.0, 1e4, 1e5, 1e6}) {
    float value = static_cast<float>(edge);
    for (int step = 0; step < 64; ++step) value = std::nextafter(value, 0.0f);
    for (int step = 0; step < 128; ++step, value = std::nextafter(value, 1e9f)) {
      for (float v : {value, -value}) {
        ASSERT_EQ(f3(v, 10), reference_f3(v, 10)) << v;
        ASSERT_EQ(f3(v, 7), reference_f3(v, 7)) << v;
      }
    }
  }
}

TEST(ConsoleItems, RealText) {
  struct Case {
    float value;
    const char *text;
  };
  const Case cases[] = {
      {0.01f, "  0.00999999978"},
      {1.0f, "  1."},
      {123.5f, "  123.5"},
      {-5.0f, " -5."},
      {0.0f, "  0."},
      {-0.0f, "  0."},
      {1.0e10f, "  1.E+010"},
      {1.0e9f, "  1.E+009"},
      {123456789.0f, "  123456792."},
      {1.0e-4f, "  9.99999975E-005"},
      {0.001f, "  0.00100000005"},
      {-2.5e-20f, " -2.49999992E-020"},
      {1.0e38f, "  9.99999968E+037"},
      {0.5f, "  0.5"},
  };
  for (const auto &c : cases) EXPECT_EQ(cdmg::real_item_text(c.value), c.text) << c.value;
}

TEST(ConsoleItems, LineBreaks) {
  struct Case {
    const char *what;
    std::size_t text_length; // a character item of this many 'a's first
    std::int32_t number;
    const char *tail; // what follows the first item
  };
  const Case cases[] = {
      // 1 + 75 = 76 placed; three digits give 79 and stay.
      {"stays at 79", 75, 123, " 123\n"},
      // 77 placed; 77 + 3 = 80 already does not fit.
      {"breaks at 80", 76, 123, "\n 123\n"},
      {"negative counts digits only", 75, -123, " -123\n"},
      {"the most negative", 3, -2147483647 - 1, " -2147483648\n"},
  };
  for (const auto &c : cases) {
    const std::string out =
        cdmg::ListLine().text(std::string(c.text_length, 'a')).integer(c.number).end();
    EXPECT_EQ(out, " " + std::string(c.text_length, 'a') + c.tail) << c.what;
  }
  EXPECT_EQ(cdmg::ListLine().text(std::string(80, 'h')).end(), " " + std::string(80, 'h') + "\n")
      << "a long item alone never breaks";
  EXPECT_EQ(cdmg::ListLine().text(std::string(70, 'a')).text("0123456789").text("b").end(),
            " " + std::string(70, 'a') + "\n 0123456789b\n")
      << "blank after a break";
  EXPECT_EQ(cdmg::ListLine().text(" assumed dt =").real(0.01f).end(),
            "  assumed dt =  0.00999999978\n");
  EXPECT_EQ(cdmg::ListLine().end(), "\n");
  EXPECT_EQ(cdmg::ListLine().text(std::string(60, 'a')).real(1.0e10f).real(0.01f).end(),
            " " + std::string(60, 'a') + "  1.E+010\n  0.00999999978\n")
      << "a real item counts its whole text";
}

} // namespace

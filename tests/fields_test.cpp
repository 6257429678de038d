// Field rules on input: the real field with implied decimals and the text field.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decimal.h"
#include "fields.h"
#include "record_shapes.h"

namespace {

using cdmg::FieldStatus;
using cdmg::RecordView;
using shapes::bits_of;

RecordView view(const std::string &text, bool line_feed = true) {
  return {text.data(), text.size() < 80 ? text.size() : 80, line_feed};
}

// One field read from the start of a record ending in a line feed.
cdmg::RealField field(const std::string &text) {
  std::size_t pos = 0;
  return cdmg::read_real_field(view(text), pos);
}

TEST(RealField, Values) {
  struct Case {
    const char *text;
    float value;
  };
  const Case cases[] = {
      {"    1.2345", 1.2345f},
      {"     12345", 1.2345f},
      {"  1 2 3 4 ", 0.1234f},
      {"-1.234E-02", -0.01234f},
      {" 1.2345-02", 0.012345f},
      {"  1.5D+01 ", 15.0f},
      {"12345E2   ", 123.45f},
      {"        1.", 1.0f},
      {"          ", 0.0f},
      {"-         ", 0.0f},
      {"-0.0000   ", 0.0f},
      {"", 0.0f},
      {"  1.5d1   ", 15.0f},
      {"  1.5e+1  ", 15.0f},
      {"+.5", 0.5f},
      {"-.787", -0.787f},
      {"7", 0.0007f},
      {"5E-3", 5e-7f},
      {"1.5+3", 1500.0f},
      {"E5", 0.0f},
      {"--5", 0.0f},
      {"1.0E+99", INFINITY},
      {"-1.0E+99", -INFINITY},
      {"1.0E-99", 0.0f},
      {"9999999999", 999999.9999f},
      {"1.e+000039", INFINITY},
      {"1e+0000039", 1e35f},
      {"1.5-45", 1.4e-45f},
      {"00000.0001", 0.0001f},
      {"-0E5", 0.0f}, // every zero reads as +0
      {" 1.5E + 2 ", 150.0f},
      {"7038531-28", 0x1.5C87FCp-84f}, // the nearest double, then single: not the nearest single
  };
  for (const auto &c : cases) {
    const auto read = field(c.text);
    ASSERT_EQ(read.status, FieldStatus::value) << c.text;
    EXPECT_EQ(bits_of(read.value), bits_of(c.value)) << '"' << c.text << '"';
  }
}

TEST(RealField, UnexpectedCharacters) {
  for (const char *text :
       {"  1.5E    ", "1.0Q+01   ", "1.0\t", "1..5", "1.5E+2.", "1.5E+2-", "1.5E", "1.5E-", "1.5E,",
        "1.5+,", "1.5\r2", "abc", "1.5E2E", "/&", "3.8688E-1-", "1:5"}) {
    EXPECT_EQ(field(text).status, FieldStatus::bad_character) << '"' << text << '"';
  }
}

// A field ends after ten columns, at a comma (taken) or at the line feed
// (never taken, so every later field is empty). One that the end of the file
// cuts short stores nothing; one that took its ten columns or comma is whole.
TEST(RealField, WhereFieldsEnd) {
  struct Case {
    std::string record;
    bool line_feed;
    std::vector<float> values; // then, without a line feed, the end of the file
  };
  const Case cases[] = {
      {"1.5,2.5,-3.25", true, {1.5f, 2.5f, -3.25f, 0, 0, 0, 0, 0}},
      {" 3.8688E-1-1.9160E+0,", true, {0.38688f, -1.916f, 0.0f}},
      {"    1.0000    2.0", false, {1.0f}},
      {"1.0,", false, {1.0f}},
      {"", false, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.record);
    std::size_t pos = 0;
    for (float value : c.values) {
      const auto read = cdmg::read_real_field(view(c.record, c.line_feed), pos);
      ASSERT_EQ(read.status, FieldStatus::value);
      EXPECT_EQ(read.value, value);
    }
    if (c.line_feed)
      EXPECT_EQ(pos, c.record.size());
    else
      EXPECT_EQ(cdmg::read_real_field(view(c.record, false), pos).status, FieldStatus::end_of_file);
  }
}

TEST(TextField, PadsShortRecordsAndNeedsEightyOrLineFeed) {
  char line[80];
  ASSERT_EQ(cdmg::read_text_field(view("ABC"), line), cdmg::TextField::read);
  EXPECT_EQ(std::string(line, 80), "ABC" + std::string(77, ' '));
  ASSERT_EQ(cdmg::read_text_field(view(std::string(100, 'x'), false), line), cdmg::TextField::read);
  EXPECT_EQ(std::string(line, 80), std::string(80, 'x'));
  ASSERT_EQ(cdmg::read_text_field(view("", true), line), cdmg::TextField::read);
  EXPECT_EQ(std::string(line, 80), std::string(80, ' '));
  EXPECT_EQ(cdmg::read_text_field(view("ABC", false), line), cdmg::TextField::end_of_file);
  EXPECT_EQ(cdmg::read_text_field(view("", false), line), cdmg::TextField::end_of_file);
}

// The exact fast path against the library's correctly rounded conversion.
TEST(DecimalToFloat, AgreesWithLibrary) {
  std::mt19937_64 random(2024);
  for (int k = 0; k < 2000000; ++k) {
    const std::uint64_t digits = random() % 10000000000ULL;
    const int exponent = static_cast<int>(random() % 80) - 50;
    const double wide = cdmg::decimal::c_library.to_double(digits, exponent);
    ASSERT_EQ(bits_of(cdmg::decimal_to_float(digits, exponent, false)),
              bits_of(static_cast<float>(wide)))
        << digits << "e" << exponent;
  }
}

#if CDMG_FLOAT_CHARCONV
// The program's two ways to convert agree wherever it converts: fields past
// the exact range (ten digits or the exponent shapes' five, exponents to
// +-400) and the texts a console real asks for, of any float.
TEST(DecimalConversions, BothLibrariesAgree) {
  const auto &charconv = cdmg::decimal::charconv;
  const auto &c_library = cdmg::decimal::c_library;
  std::mt19937_64 random(26);
  for (int exponent = -400; exponent <= 400; ++exponent) {
    for (int k = 0; k < 400; ++k) {
      const std::uint64_t digits = random() % (k % 2 ? 10000000000ULL : 100000ULL);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(charconv.to_double(digits, exponent)),
                std::bit_cast<std::uint64_t>(c_library.to_double(digits, exponent)))
          << digits << "e" << exponent;
    }
  }
  using cdmg::decimal::Notation;
  const auto texts = [](const cdmg::decimal::Conversions &library, double value, int exponent) {
    char text[cdmg::decimal::kFormatRoom];
    std::string both(text, library.format(text, value, Notation::scientific, 8));
    if (exponent >= -4 && exponent < 9)
      both.append(text, library.format(text, value, Notation::fixed, 8 - exponent));
    return both;
  };
  for (int k = 0; k < 1000000; ++k) {
    const float value = std::fabs(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
    if (!std::isfinite(value)) continue;
    const int exponent = value == 0 ? 0 : static_cast<int>(std::floor(std::log10(value)));
    for (int near = exponent - 1; near <= exponent + 1; ++near)
      ASSERT_EQ(texts(charconv, value, near), texts(c_library, value, near)) << value;
  }
}
#endif

// Published conversion vectors, read as ten-column fields.
TEST(DecimalToFloat, ConversionVectors) {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
  GTEST_SKIP() << "reads the vectors through gzip";
#else
  const std::string path = std::string(CDMG_REALDATA_DIR) + "/fxx_short_strings_sample.tsv.gz";
  FILE *in = popen(("gzip -dc '" + path + "' 2>/dev/null").c_str(), "r");
  ASSERT_NE(in, nullptr);
  char line[512];
  int checked = 0;
  while (std::fgets(line, sizeof line, in)) {
    char source[64], text[64], f64[32], f32[32], via[32], dr[8], point[8], e64[32], e32[32];
    if (std::sscanf(line, "%63s %63s %31s %31s %31s %7s %7s %31s %31s", source, text, f64, f32, via,
                    dr, point, e64, e32) != 9 ||
        source[0] == '#')
      continue;
    const std::string field_text(text);
    if (field_text.size() > 10) continue;
    const auto read = field(field_text);
    ASSERT_EQ(read.status, FieldStatus::value) << text;
    EXPECT_EQ(bits_of(read.value), std::stoul(e32, nullptr, 16)) << text;
    ++checked;
  }
  pclose(in);
#ifdef CDMG_REQUIRE_REALDATA
  ASSERT_NE(checked, 0) << "conversion vectors not found at " << path << ", and they are required";
#else
  if (checked == 0) GTEST_SKIP() << "conversion vectors not found at " << path;
#endif
  EXPECT_EQ(checked, 3000);
#endif
}

// Records taken in one pass, and records it must leave to the full rule.
TEST(FullRecordFields, CommonShapesAndTheirNeighbours) {
  struct Case {
    const char *record;
    bool taken;
  };
  const Case cases[] = {
      {" 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+9", true},
      {"+0.0000E+0-0.0000E-0 9.9999E+9-9.9999E-9 0.0001E-9 1.0000E 3 0.0000E+0 0.0000E+0", true},
      {"     -.787      .123    12.345   -99.999     1.000     0.000     3.142    -2.718", true},
      {" -0.123456  0.000001     12345    -12345 3.8688E-1     1.000-1.9160E+0        1.", true},
      {"       -.5.123456789123456789.         -          1234567890-999.99999+.00000001", true},
      {"      1234.123456789-0.0138   +12.5              .-.            -0.000  0000.001", true},
      {"0.0000E+00-.3298E-03-.1033E-03-.1662E-02 .3595E+12+.1597E-100.5082E-01-.8508E 00", true},
      // Exponents beyond what the one pass reaches, and a zero exponent
      // sign: the general reading takes them.
      {"0.1072E+130.3683E-11-.5286E+990.5533E-990.6495E0000.6520E+000.7759E+000.5596E+00", true},
      {"1.2345E+00 1.2345E+0 .3683E-11-.5286E+990.5533E-990.6495E0000.6520E+000.7759E+00", true},
      // A blank inside a number: the rule reads that field in its ten columns.
      {" 3.8688E-1-1.9160E+0 2.12 4E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+1", true},
      // A comma, a letter other than E, a second point, a bad character:
      // left to the rule, which decides.
      {" 3.8688E-1,1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+1", false},
      {" 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777X+1", false},
      {" 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.77.7E+1", false},
      {" 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+ ", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.record);
    ASSERT_EQ(std::strlen(c.record), 80u);
    float values[8];
    EXPECT_EQ(cdmg::read_full_record_fields(c.record, values), c.taken);
    EXPECT_EQ(shapes::disagreement(c.record), "");
  }
}

// The one-pass reading against the full rule on records of common shapes
// with a few bytes changed: each one that the one pass takes must read the
// same ten-column fields and values as the rule.
TEST(FullRecordFields, MutatedRecordsAgreeWithTheRule) {
  int taken = 0;
  for (std::uint64_t seed = 1; seed <= 100000; ++seed) {
    const std::string record = shapes::mutated_record(seed, static_cast<int>(seed % 4));
    const std::string problem = shapes::disagreement(record);
    ASSERT_EQ(problem, "") << "seed " << seed;
    float values[8];
    taken += cdmg::read_full_record_fields(record.data(), values) ? 1 : 0;
  }
  // Both ways are exercised: many records are taken, many are not.
  EXPECT_GT(taken, 10000);
  EXPECT_LT(taken, 90000);
}

// Every mantissa of both exponent shapes at every exponent the one pass
// reaches, and one beyond at each end: the same values as the rule.
TEST(FullRecordFields, EveryMantissaAtEveryReachableExponent) {
  struct Shape {
    int mantissas, lowest, highest;
    void (*field)(char *out, int m, int exponent);
  };
  const Shape kinds[] = {{100000, -10, 10,
                          [](char *out, int m, int e) {
                            std::snprintf(out, 24, "%c%d.%04dE%c%d", m % 3 == 0 ? '-' : ' ',
                                          m / 10000, m % 10000, e < 0 ? '-' : '+',
                                          std::abs(e) % 10);
                          }},
                         {10000, -12, 14, [](char *out, int m, int e) {
                            std::snprintf(out, 24, "%c.%04dE%c%02d", m % 3 == 0 ? '-' : '0', m,
                                          e < 0 ? '-' : '+', std::abs(e));
                          }}};
  char record[80];
  for (const Shape &shape : kinds) {
    for (int exponent = shape.lowest; exponent <= shape.highest; ++exponent) {
      for (int first = 0; first < shape.mantissas; first += 8) {
        for (int k = 0; k < 8; ++k) {
          char field[24];
          shape.field(field, first + k, exponent);
          std::memcpy(record + 10 * k, field, 10);
        }
        ASSERT_EQ(shapes::disagreement(std::string(record, 80)), "") << "exponent " << exponent;
      }
    }
  }
}

} // namespace

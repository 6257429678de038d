// Checks F7.3 and F10.3 editing of every single-precision bit pattern
// against correctly rounded "%.3f" digits with the sign, zero and width
// rules on top, one value at a time and four at once (each pattern with its
// three neighbours, in every lane).
// Takes minutes; run by hand: exhaustive_edit [threads]
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "edit.h"
#include "shared_types.h"

namespace {

std::atomic<std::uint64_t> mismatches{0};
std::atomic<std::uint64_t> checked{0};

// A field's expected text, in place: no allocation per pattern.
struct Field {
  char text[10];
  int width;
  bool general; // asterisks or an infinity: left to the general editing
  bool is(const char *actual) const { return std::memcmp(text, actual, width) == 0; }
};

// The digits of the magnitude laid into the field under the sign, zero and
// width rules, as reference::fit_f3 does.
Field expected(const char *digits, std::size_t length, bool negative, int width) {
  Field f{{}, width, false};
  if (std::strspn(digits, "0.") == length) negative = false; // digits ends with a NUL
  const std::size_t needed = length + (negative ? 1 : 0);
  const auto w = static_cast<std::size_t>(width);
  if (needed > w) {
    std::memset(f.text, '*', w);
    f.general = true;
    return f;
  }
  std::memset(f.text, ' ', w - needed);
  if (negative) f.text[w - needed] = '-';
  std::memcpy(f.text + w - length, digits, length);
  f.general = digits[0] == 'i';
  return f;
}

void report(std::uint32_t bits, const char *how, const Field &want, const char *actual) {
  if (mismatches++ < 20) {
    std::printf("mismatch %08x width %d %s: expected \"%.*s\" got \"%.*s\"\n", bits, want.width,
                how, want.width, want.text, want.width, actual);
  }
}

// The SSE2 editing of four patterns at once, as each of the three values
// of four rows (the plain twin is edit_values, checked alone). Where it
// declines, some pattern must need the general editing.
void check_four(const std::uint32_t *bits, const float *values, const Field *expected10) {
#if CDMG_HAVE_SSE2
  char rows[4 * cdmg::kRowBytes];
  if (cdmg::sse2::edit_values4(rows, values, values, values)) {
    for (int k = 0; k < 4; ++k) {
      for (const std::size_t at : {8, 19, 30}) {
        const char *field = rows + k * cdmg::kRowBytes + at;
        if (!expected10[k].is(field)) report(bits[k], "four at once", expected10[k], field);
      }
    }
  } else if (!(expected10[0].general || expected10[1].general || expected10[2].general ||
               expected10[3].general)) {
    report(bits[0], "declined by four-at-once", expected10[0], "");
  }
#else
  static_cast<void>(bits);
  static_cast<void>(values);
  static_cast<void>(expected10);
#endif
}

void check_range(std::uint64_t first, std::uint64_t last) {
  std::uint64_t local = 0;
  // The last four patterns, for the four-at-once check.
  float recent[4] = {};
  std::uint32_t recent_bits[4] = {};
  Field recent10[4];
  int filled = 0;
  for (std::uint64_t b = first; b < last; ++b) {
    const auto bits = static_cast<std::uint32_t>(b);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue; // never a sample: fields read as numbers or infinities
    const double magnitude = std::fabs(static_cast<double>(value));
    // Ten or more whole digits are wider than either field, whatever they
    // are; below 2^-11 (under 0.0005) every magnitude rounds to 0.000.
    char digits[64];
    std::size_t length = 0;
    if (magnitude < 0x1p-11) {
      length = 5;
      std::memcpy(digits, "0.000", length);
    } else if (magnitude >= 1e9 && std::isfinite(magnitude)) {
      length = 14;
      std::memcpy(digits, "1000000000.000", length);
    } else {
      // <charconv>'s correctly rounded digits: those of the C library's
      // "%.3f" (the unit tests hold the two to each other on every halfway
      // value), several times as fast.
      length = static_cast<std::size_t>(
          std::to_chars(digits, digits + sizeof digits, magnitude, std::chars_format::fixed, 3)
              .ptr -
          digits);
    }
    digits[length] = '\0';
    const bool negative = value < 0;
    const Field recent7 = expected(digits, length, negative, 7);
    recent10[filled] = expected(digits, length, negative, 10);
    for (const Field *want : {&recent7, static_cast<const Field *>(&recent10[filled])}) {
      char actual[10];
      cdmg::edit_f3(actual, want->width, value);
      if (!want->is(actual)) report(bits, "alone", *want, actual);
    }
    recent_bits[filled] = bits;
    recent[filled++] = value;
    if (filled == 4) {
      check_four(recent_bits, recent, recent10);
      filled = 0;
    }
    ++local;
  }
  checked += local;
}

} // namespace

int main(int argc, char **argv) {
  const unsigned threads = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1]))
                                    : std::max(1u, std::thread::hardware_concurrency());
  // A part of the patterns, for a quick look: exhaustive_edit THREADS FIRST LAST (hex).
  const std::uint64_t first = argc > 3 ? std::strtoull(argv[2], nullptr, 16) : 0;
  const std::uint64_t last =
      argc > 3 ? std::strtoull(argv[3], nullptr, 16) : std::uint64_t{1} << 32;
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back(check_range, first + (last - first) * t / threads,
                      first + (last - first) * (t + 1) / threads);
  }
  for (auto &th : pool) th.join();
  std::printf("%llu bit patterns (NaNs skipped) checked at widths 7 and 10: %llu mismatches\n",
              static_cast<unsigned long long>(checked.load()),
              static_cast<unsigned long long>(mismatches.load()));
  return mismatches == 0 ? 0 : 1;
}

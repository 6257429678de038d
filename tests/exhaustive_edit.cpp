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
#include <string>
#include <thread>
#include <vector>

#include "edit.h"
#include "reference_edit.h"
#include "shared_types.h"

namespace {

std::atomic<std::uint64_t> mismatches{0};
std::atomic<std::uint64_t> checked{0};

void report(std::uint32_t bits, int width, const char *how, const std::string &expected,
            const char *actual) {
  if (mismatches++ < 20) {
    std::printf("mismatch %08x width %d %s: expected \"%s\" got \"%.*s\"\n", bits, width, how,
                expected.c_str(), width, actual);
  }
}

// The four-at-once editing of four patterns, by every SIMD kernel this
// processor runs (the plain one is edit_row four times, checked alone): as
// times beside zero values, and as values beside zero times. Where a kernel
// declines, some pattern must need the general editing in that field.
void check_four(const std::uint32_t *bits, const float *values, const std::string *expected7,
                const std::string *expected10) {
  static const std::vector<cdmg::FourRowEditor> kernels = [] {
    std::vector<cdmg::FourRowEditor> available;
    for (const cdmg::InstructionSet set : cdmg::kInstructionSets) {
      const cdmg::FourRowEditor kernel = cdmg::row_kernel(set).four_rows;
      if (kernel && set != cdmg::InstructionSet::plain) available.push_back(kernel);
    }
    return available;
  }();
  const float zeros[4] = {};
  const auto general = [](const std::string *expected) {
    for (int k = 0; k < 4; ++k) {
      if (expected[k].find_first_of("*n") != std::string::npos) return true;
    }
    return false;
  };
  for (const auto kernel : kernels) {
    char rows[4 * cdmg::kRowBytes];
    if (kernel(rows, values, zeros, zeros, zeros)) {
      for (int k = 0; k < 4; ++k) {
        if (expected7[k] != std::string(rows + k * cdmg::kRowBytes, 7)) {
          report(bits[k], 7, "four at once", expected7[k], rows + k * cdmg::kRowBytes);
        }
      }
    } else if (!general(expected7)) {
      report(bits[0], 7, "declined by four-at-once", expected7[0], "");
    }
    if (kernel(rows, zeros, values, values, values)) {
      for (int k = 0; k < 4; ++k) {
        for (const std::size_t at : {8, 19, 30}) {
          if (expected10[k] != std::string(rows + k * cdmg::kRowBytes + at, 10)) {
            report(bits[k], 10, "four at once", expected10[k], rows + k * cdmg::kRowBytes + at);
          }
        }
      }
    } else if (!general(expected10)) {
      report(bits[0], 10, "declined by four-at-once", expected10[0], "");
    }
  }
}

void check_range(std::uint64_t first, std::uint64_t last) {
  std::uint64_t local = 0;
  // The last four patterns, for the four-at-once check.
  float recent[4] = {};
  std::uint32_t recent_bits[4] = {};
  std::string recent7[4];
  std::string recent10[4];
  int filled = 0;
  for (std::uint64_t b = first; b < last; ++b) {
    const auto bits = static_cast<std::uint32_t>(b);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue; // never a sample: fields read as numbers or infinities
    const double wide = value;
    // Ten or more whole digits are wider than either field, whatever they
    // are; below 2^-11 (under 0.0005) every magnitude rounds to 0.000.
    char digits[64] = "1000000000.000";
    if (std::fabs(wide) < 0x1p-11) {
      std::strcpy(digits, "0.000");
    } else if (!(std::fabs(wide) >= 1e9 && std::isfinite(wide))) {
      // <charconv>'s correctly rounded digits: those of the C library's
      // "%.3f" (the unit tests hold the two to each other on every halfway
      // value), four times as fast.
      const auto end = std::to_chars(digits, digits + sizeof digits - 1, std::fabs(wide),
                                     std::chars_format::fixed, 3)
                           .ptr;
      *end = '\0';
    }
    for (int width : {7, 10}) {
      const std::string expected = reference::fit_f3(digits, wide < 0, width);
      char actual[10];
      cdmg::edit_f3(actual, width, value);
      if (expected != std::string(actual, static_cast<std::size_t>(width))) {
        report(bits, width, "alone", expected, actual);
      }
      (width == 7 ? recent7 : recent10)[filled] = expected;
    }
    recent_bits[filled] = bits;
    recent[filled++] = value;
    if (filled == 4) {
      check_four(recent_bits, recent, recent7, recent10);
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
  const std::uint64_t total = std::uint64_t{1} << 32;
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back(check_range, total * t / threads, total * (t + 1) / threads);
  }
  for (auto &th : pool) th.join();
  std::printf("%llu bit patterns (NaNs skipped) checked at widths 7 and 10: %llu mismatches\n",
              static_cast<unsigned long long>(checked.load()),
              static_cast<unsigned long long>(mismatches.load()));
  return mismatches == 0 ? 0 : 1;
}

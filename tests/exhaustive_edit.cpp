// Checks F7.3 and F10.3 editing of every single-precision bit pattern
// against the C library's "%.3f" with the sign, zero and width rules on top.
// Takes minutes; run by hand: exhaustive_edit [threads]
#include <atomic>
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

namespace {

std::atomic<std::uint64_t> mismatches{0};
std::atomic<std::uint64_t> checked{0};

void check_range(std::uint64_t first, std::uint64_t last) {
  std::uint64_t local = 0;
  for (std::uint64_t b = first; b < last; ++b) {
    const auto bits = static_cast<std::uint32_t>(b);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue; // never a sample: fields read as numbers or infinities
    const double wide = value;
    char digits[64] = "1000000000.000";
    // Ten or more whole digits are wider than either field, whatever they are.
    if (!(std::fabs(wide) >= 1e9 && std::isfinite(wide))) {
      std::snprintf(digits, sizeof digits, "%.3f", std::fabs(wide));
    }
    for (int width : {7, 10}) {
      const std::string expected = reference::fit_f3(digits, wide < 0, width);
      char actual[10];
      cdmg::edit_f3(actual, width, value);
      if (expected != std::string(actual, static_cast<std::size_t>(width)) && mismatches++ < 20) {
        std::printf("mismatch %08x width %d: expected \"%s\" got \"%.*s\"\n", bits, width,
                    expected.c_str(), width, actual);
      }
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

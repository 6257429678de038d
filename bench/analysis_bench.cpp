// The record's analysis at full capacity: three components of 33000
// samples, the 100 default periods and one damping (5%). Medians of the
// runs, in milliseconds: the spectra of the three components alone, the
// horizontal pair's spectra with RotD50 and RotD100 (and the third's
// spectrum), and the measures of all three.
// Usage: analysis_bench [runs]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "analysis.h"

namespace {

namespace an = cdmg::analysis;

std::vector<double> shaking(unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal;
  std::vector<double> a(33000);
  for (std::size_t i = 0; i < a.size(); ++i)
    a[i] = 100.0 * normal(random) * std::exp(-static_cast<double>(i) / 11000.0);
  return a;
}

template <class F> double median_ms(int runs, F f) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
  const std::vector<double> a[3] = {shaking(1), shaking(2), shaking(3)};
  const std::vector<double> periods = an::default_periods();
  double sink = 0;
  const double spectra = median_ms(runs, [&] {
    for (const auto &c : a) sink += an::spectrum(c, 0.01, periods, 0.05).psa[50];
  });
  const double with_rotd = median_ms(runs, [&] {
    const an::Horizontal h = an::horizontal(a[0], a[1], 0.01, periods, 0.05);
    sink += h.rotd50[50] + an::spectrum(a[2], 0.01, periods, 0.05).psa[50];
  });
  const double measures = median_ms(runs, [&] {
    for (const auto &c : a) sink += an::measures(c, 0.01, 0.01).arias;
  });
  std::printf(
      "analysis at full capacity (3 x 33000 samples, 100 periods, 5%%), median of %d runs:\n",
      runs);
  std::printf("  spectra of the three components       %8.2f ms\n", spectra);
  std::printf("  the same with RotD50 and RotD100      %8.2f ms (RotD: %.2f ms more)\n", with_rotd,
              with_rotd - spectra);
  std::printf("  measures of the three components      %8.2f ms\n", measures);
  return sink == 12345.0 ? 1 : 0;
}

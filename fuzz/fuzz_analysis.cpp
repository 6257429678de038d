// The record's analysis on arbitrary samples (non-finite ones included),
// intervals, dampings and periods: it must never crash, never run without
// end (libFuzzer's timeout), and never give NaN or an infinity where a
// component without a problem promises a figure.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis.h"

namespace {

namespace an = cdmg::analysis;

// A byte as a value from low to high, evenly in logarithm.
double scaled(std::uint8_t byte, double low, double high) {
  return low * std::pow(high / low, byte / 255.0);
}

void check(double value) {
  if (!std::isfinite(value)) std::abort();
}

void check(const an::Spectrum &s) {
  for (const auto *q : {&s.sd, &s.sv, &s.sa, &s.psv, &s.psa})
    for (const double x : *q) check(x);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Four bytes of settings, then two components' samples as floats.
  std::uint8_t head[4] = {};
  std::memcpy(head, data, size < 4 ? size : 4);
  const double dt = scaled(head[0], 1e-4, 10.0);
  const double zeta = head[1] / 256.0;
  std::vector<double> periods(1 + head[2] % 12);
  for (std::size_t k = 0; k < periods.size(); ++k)
    periods[k] = scaled(static_cast<std::uint8_t>(head[3] + 37 * k), 1e-3, 100.0);
  const std::size_t floats = size > 4 ? (size - 4) / sizeof(float) : 0;
  const std::size_t n = floats / 2;
  std::vector<double> a1(n), a2(n);
  for (std::size_t i = 0; i < n; ++i) {
    float x, y;
    std::memcpy(&x, data + 4 + 8 * i, sizeof x);
    std::memcpy(&y, data + 8 + 8 * i, sizeof y);
    a1[i] = x;
    a2[i] = y;
  }
  bool usable[2];
  for (int c = 0; c < 2; ++c) {
    const std::vector<double> &a = c == 0 ? a1 : a2;
    const an::Measures m = an::measures(a, dt, head[0] % 2 ? 0.01 : 9.80665);
    usable[c] = m.problem == an::Problem::none;
    if (!usable[c]) continue;
    for (const double x : {m.pga.value, m.pga.time, m.pgv.value, m.pgv.time, m.pgd.value,
                           m.pgd.time, m.arias, m.d5_75, m.d5_95, m.cav, m.cav_g})
      check(x);
    if (m.d5_75 < 0 || m.d5_95 < m.d5_75) std::abort();
    check(an::spectrum(a, dt, periods, zeta));
  }
  if (usable[0] && usable[1]) {
    const an::Horizontal h = an::horizontal(a1, a2, dt, periods, zeta);
    check(h.first);
    check(h.second);
    for (std::size_t k = 0; k < periods.size(); ++k) {
      check(h.rotd50[k]);
      check(h.rotd100[k]);
      // The median of the angles' peaks is no more than their largest, and
      // the largest no less than either component's own.
      if (h.rotd50[k] > h.rotd100[k] * (1 + 1e-12) ||
          h.rotd100[k] * (1 + 1e-12) < std::max(h.first.psa[k], h.second.psa[k]))
        std::abort();
    }
  }
  return 0;
}

// The record's first look: peaks, velocity and displacement, intensity
// measures and elastic response spectra of the converted samples. Pure
// functions in double precision. Nothing here touches the I/O frame, and
// the conversion never calls it; docs/analysis.md defines every figure.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace cdmg::analysis {

inline constexpr double kStandardGravity = 9.80665; // m/s²

// Why a component has no figures.
enum class Problem { none, no_rows, all_zero, not_finite };

// A component's problem, looked for before any figure: `row` is the first
// non-finite sample's (from 0).
Problem find_problem(std::span<const double> a, std::size_t &row);

// Velocity and displacement at every row, exact for an acceleration linear
// between samples, starting at rest; each span as long as `a`.
void integrate(std::span<const double> a, double dt, std::span<double> v, std::span<double> d);

// The largest magnitude, signed, and the time of its first row.
struct Peak {
  double value = 0.0;
  double time = 0.0;
};

struct Measures {
  Problem problem = Problem::none;
  std::size_t problem_row = 0;
  Peak pga, pgv, pgd;
  double arias = 0.0; // m/s
  double d5_75 = 0.0; // s
  double d5_95 = 0.0; // s
  double cav = 0.0;   // the record's unit x s
  double cav_g = 0.0; // g x s
};

// `unit` is the record's unit in m/s² (0.01 for cm/s², 1, or g). Figures
// stay 0 where the component has a problem.
Measures measures(std::span<const double> a, double dt, double unit);

// The 100 periods from 0.01 s to 10 s, evenly spaced in logarithm.
std::vector<double> default_periods();

// Peak responses of the oscillator at each period, in the record's unit:
// Sd (x s²), Sv (x s), Sa (absolute acceleration), PSV = ω Sd, PSA = ω² Sd.
struct Spectrum {
  std::vector<double> sd, sv, sa, psv, psa;
};

// The oscillator's displacement and velocity relative to the ground at
// every row, from rest: the plain twin of the stepping that the spectra do
// many periods at a time.
void respond(std::span<const double> a, double dt, double period, double zeta, std::span<double> u,
             std::span<double> v);

// One component's spectrum at damping ratio `zeta` (0 <= zeta < 1); the
// periods are positive.
Spectrum spectrum(std::span<const double> a, double dt, std::span<const double> periods,
                  double zeta);

// The two horizontal components' spectra, and their RotD50 and RotD100
// (as PSA), from one pass of both oscillators.
struct Horizontal {
  Spectrum first, second;
  std::vector<double> rotd50, rotd100;
};
Horizontal horizontal(std::span<const double> a1, std::span<const double> a2, double dt,
                      std::span<const double> periods, double zeta);

// RotD50 and RotD100 of one period from the two oscillators' displacement
// histories, as the projections' peaks (not yet times ω²). Exposed for the
// tests.
struct RotDPeaks {
  double median = 0.0;
  double largest = 0.0;
};
RotDPeaks rotd_peaks(std::span<const double> u1, std::span<const double> u2);

} // namespace cdmg::analysis

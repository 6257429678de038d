// The record's analysis against the mathematics: closed-form responses of
// the oscillator, invariances, and the measures' definitions.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis.h"

namespace {

namespace an = cdmg::analysis;
constexpr double kPi = std::numbers::pi;

double largest(const std::vector<double> &x) {
  double m = 0;
  for (const double v : x) m = std::max(m, std::fabs(v));
  return m;
}

// A record-like series: decaying random shaking.
std::vector<double> shaking(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal;
  std::vector<double> a(n);
  for (std::size_t i = 0; i < n; ++i)
    a[i] = 100.0 * normal(random) * std::exp(-static_cast<double>(i) / static_cast<double>(n / 3));
  return a;
}

// The oscillator at rest under a ground acceleration r t (t >= 0), in
// closed form: u = up + e^(-ζωt) (C1 cos ωd t + C2 sin ωd t).
struct Closed {
  double u, v;
};
Closed ramp(double r, double t, double w, double z) {
  const double wd = w * std::sqrt(1 - z * z);
  const double c1 = -2 * z * r / (w * w * w);
  const double c2 = r * (1 - 2 * z * z) / (w * w * wd);
  const double e = std::exp(-z * w * t);
  const double c = std::cos(wd * t);
  const double s = std::sin(wd * t);
  return {-r * t / (w * w) + 2 * z * r / (w * w * w) + e * (c1 * c + c2 * s),
          -r / (w * w) + e * ((-z * w * c1 + wd * c2) * c + (-z * w * c2 - wd * c1) * s)};
}
Closed step(double a0, double t, double w, double z) {
  const double wd = w * std::sqrt(1 - z * z);
  const double c1 = a0 / (w * w);
  const double c2 = z * a0 / (w * wd);
  const double e = std::exp(-z * w * t);
  const double c = std::cos(wd * t);
  const double s = std::sin(wd * t);
  return {-a0 / (w * w) + e * (c1 * c + c2 * s),
          e * ((-z * w * c1 + wd * c2) * c + (-z * w * c2 - wd * c1) * s)};
}

TEST(Analysis, ClosedFormResponsesAtEverySample) {
  const double dt = 0.01;
  const std::size_t n = 3000;
  // A triangular pulse, up over 0.5 s and down over 0.5 s: three ramps.
  const double rise = 0.5;
  const auto pulse = [&](double t, double w, double z) {
    Closed sum = ramp(400.0, t, w, z);
    for (const auto &[at, r] : {std::pair{rise, -800.0}, std::pair{2 * rise, 400.0}}) {
      if (t > at) {
        const Closed more = ramp(r, t - at, w, z);
        sum.u += more.u;
        sum.v += more.v;
      }
    }
    return sum;
  };
  struct Forcing {
    const char *what;
    double (*a)(double t);
    std::function<Closed(double, double, double)> closed;
  };
  const Forcing forcings[] = {
      {"step", [](double) { return 150.0; },
       [](double t, double w, double z) { return step(150.0, t, w, z); }},
      {"ramp", [](double t) { return 30.0 * t; },
       [](double t, double w, double z) { return ramp(30.0, t, w, z); }},
      {"triangle", [](double t) { return t < 0.5   ? 400.0 * t
                                         : t < 1.0 ? 400.0 * (1.0 - t)
                                                   : 0.0; },
       pulse},
  };
  for (const Forcing &f : forcings) {
    std::vector<double> a(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = f.a(static_cast<double>(i) * dt);
    for (const double period : {0.02, 0.3, 1.0, 4.0}) {
      for (const double zeta : {0.0, 0.05, 0.2, 0.7}) {
        SCOPED_TRACE(std::string(f.what) + " T " + std::to_string(period) + " zeta " +
                     std::to_string(zeta));
        std::vector<double> u(n), v(n);
        an::respond(a, dt, period, zeta, u, v);
        const double w = 2 * kPi / period;
        std::vector<double> cu(n), cv(n);
        for (std::size_t i = 0; i < n; ++i) {
          const Closed c = f.closed(static_cast<double>(i) * dt, w, zeta);
          cu[i] = c.u;
          cv[i] = c.v;
        }
        // Relative to the response's peak, or its natural size where the
        // samples fall on its zeros.
        const double su = largest(cu) + largest(a) / (w * w);
        const double sv = largest(cv) + largest(a) / w;
        for (std::size_t i = 0; i < n; ++i) {
          ASSERT_NEAR(u[i], cu[i], 2e-12 * su) << "row " << i;
          ASSERT_NEAR(v[i], cv[i], 2e-12 * sv) << "row " << i;
        }
        // The spectrum's peaks are those of the response, sample by sample.
        const an::Spectrum s = an::spectrum(a, dt, std::vector<double>{period}, zeta);
        EXPECT_DOUBLE_EQ(s.sd[0], largest(u));
        EXPECT_DOUBLE_EQ(s.sv[0], largest(v));
        EXPECT_DOUBLE_EQ(s.psa[0], w * w * s.sd[0]);
      }
    }
  }
}

TEST(Analysis, LinearityAndTimeScaling) {
  const std::vector<double> a = shaking(4000, 7);
  const std::vector<double> periods = an::default_periods();
  const an::Spectrum base = an::spectrum(a, 0.01, periods, 0.05);
  const an::Measures m = an::measures(a, 0.01, 0.01);
  for (const double k : {-2.5, 0.5, 3.0}) {
    std::vector<double> scaled(a);
    for (double &x : scaled) x *= k;
    const an::Spectrum s = an::spectrum(scaled, 0.01, periods, 0.05);
    for (std::size_t p = 0; p < periods.size(); ++p) {
      EXPECT_NEAR(s.sd[p], std::fabs(k) * base.sd[p], 1e-12 * std::fabs(k) * base.sd[p]);
      EXPECT_NEAR(s.sa[p], std::fabs(k) * base.sa[p], 1e-12 * std::fabs(k) * base.sa[p]);
    }
    const an::Measures mk = an::measures(scaled, 0.01, 0.01);
    EXPECT_NEAR(mk.arias, k * k * m.arias, 1e-12 * k * k * m.arias);
    EXPECT_NEAR(std::fabs(mk.pgv.value), std::fabs(k * m.pgv.value),
                1e-12 * std::fabs(k * m.pgv.value));
    EXPECT_NEAR(mk.cav, std::fabs(k) * m.cav, 1e-12 * std::fabs(k) * m.cav);
  }
  // The same samples read at s dt answer at s T as they did at T, Sd s² times.
  const double s = 2.0;
  std::vector<double> stretched(periods);
  for (double &t : stretched) t *= s;
  const an::Spectrum slow = an::spectrum(a, 0.01 * s, stretched, 0.05);
  for (std::size_t p = 0; p < periods.size(); ++p) {
    EXPECT_NEAR(slow.sa[p], base.sa[p], 1e-9 * base.sa[p]);
    EXPECT_NEAR(slow.psa[p], base.psa[p], 1e-9 * base.psa[p]);
    EXPECT_NEAR(slow.sd[p], s * s * base.sd[p], 1e-9 * s * s * base.sd[p]);
  }
}

TEST(Analysis, ConstantAccelerationIntegratesExactly) {
  const std::size_t n = 1001;
  const double c = 9.5, dt = 0.02;
  const std::vector<double> a(n, c);
  std::vector<double> v(n), d(n);
  an::integrate(a, dt, v, d);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) * dt;
    ASSERT_NEAR(v[i], c * t, 1e-12 * c * t + 1e-15);
    ASSERT_NEAR(d[i], c * t * t / 2, 1e-12 * c * t * t + 1e-15);
  }
  const an::Measures m = an::measures(a, dt, 0.01);
  const double duration = static_cast<double>(n - 1) * dt;
  EXPECT_NEAR(m.arias, kPi / (2 * an::kStandardGravity) * duration * 0.095 * 0.095, 1e-15);
  EXPECT_NEAR(m.d5_75, 0.70 * duration, 1e-9);
  EXPECT_NEAR(m.d5_95, 0.90 * duration, 1e-9);
  EXPECT_NEAR(m.cav, c * duration, 1e-9);
  EXPECT_NEAR(m.cav_g, c * duration * 0.01 / an::kStandardGravity, 1e-12);
  EXPECT_EQ(m.pga.time, 0.0);
  EXPECT_NEAR(m.pgd.value, c * duration * duration / 2, 1e-9);
}

TEST(Analysis, MeasuresOfSmallRecords) {
  struct Case {
    const char *what;
    std::vector<double> a;
    an::Problem problem;
    std::size_t row;
    double pga, pga_time, cav;
  };
  const double inf = HUGE_VAL;
  const Case cases[] = {
      {"no rows", {}, an::Problem::no_rows, 0, 0, 0, 0},
      {"all zero", {0, 0, -0.0}, an::Problem::all_zero, 0, 0, 0, 0},
      {"an infinity", {1, 2, -inf, 3}, an::Problem::not_finite, 2, 0, 0, 0},
      {"a crossing: two triangles", {1, -1}, an::Problem::none, 0, 1, 0, 0.5 * 0.1},
      {"the first of equal peaks", {0, -3, 3, 1}, an::Problem::none, 0, -3, 0.1, 0.1 * 5},
      {"one sample", {2}, an::Problem::none, 0, 2, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const an::Measures m = an::measures(c.a, 0.1, 1.0);
    EXPECT_EQ(m.problem, c.problem);
    EXPECT_EQ(m.problem_row, c.row);
    EXPECT_EQ(m.pga.value, c.pga);
    EXPECT_EQ(m.pga.time, c.pga_time);
    EXPECT_NEAR(m.cav, c.cav, 1e-15);
    for (const double x : {m.arias, m.d5_75, m.d5_95, m.cav, m.pgv.value, m.pgd.value})
      EXPECT_TRUE(std::isfinite(x));
  }
}

TEST(Analysis, ShortPeriodsTendToPga) {
  const std::vector<double> a = shaking(3000, 11);
  const double pga = largest(a);
  const an::Spectrum s = an::spectrum(a, 0.01, std::vector<double>{1e-4, 1e-3}, 0.05);
  EXPECT_NEAR(s.psa[0], pga, 1e-3 * pga);
  EXPECT_NEAR(s.sa[0], pga, 1e-3 * pga);
  EXPECT_NEAR(s.psa[1], pga, 1e-2 * pga);
}

TEST(Analysis, RotDOfOneComponentAndOfTwoEqualOnes) {
  const std::vector<double> a = shaking(5000, 3);
  const std::vector<double> zero(a.size(), 0.0);
  const std::vector<double> periods = an::default_periods();
  const an::Horizontal alone = an::horizontal(a, zero, 0.01, periods, 0.05);
  const an::Horizontal equal = an::horizontal(a, a, 0.01, periods, 0.05);
  const an::Spectrum one = an::spectrum(a, 0.01, periods, 0.05);
  for (std::size_t p = 0; p < periods.size(); ++p) {
    EXPECT_DOUBLE_EQ(alone.first.psa[p], one.psa[p]);
    EXPECT_NEAR(alone.rotd100[p], one.psa[p], 1e-12 * one.psa[p]);
    EXPECT_NEAR(alone.rotd50[p], one.psa[p] / std::sqrt(2.0), 1e-12 * one.psa[p]);
    EXPECT_NEAR(equal.rotd100[p], std::sqrt(2.0) * one.psa[p], 1e-12 * one.psa[p]);
  }
}

// The hull's peaks are the projections' peaks over every point.
TEST(Analysis, RotDPeaksAreEveryPointsPeaks) {
  std::mt19937 random(5);
  std::normal_distribution<double> normal;
  for (int trial = 0; trial < 50; ++trial) {
    const std::size_t n = 1 + static_cast<std::size_t>(random() % 3000);
    std::vector<double> u1(n), u2(n);
    const double stretch = trial % 5 == 0 ? 0.0 : std::exp(normal(random));
    for (std::size_t i = 0; i < n; ++i) {
      u1[i] = normal(random);
      u2[i] = stretch * (trial % 7 == 0 ? u1[i] : normal(random));
    }
    std::vector<double> peaks(180, 0.0);
    for (int j = 0; j < 180; ++j) {
      const double c = std::cos(j * kPi / 180), s = std::sin(j * kPi / 180);
      for (std::size_t i = 0; i < n; ++i)
        peaks[static_cast<std::size_t>(j)] =
            std::max(peaks[static_cast<std::size_t>(j)], std::fabs(u1[i] * c + u2[i] * s));
    }
    const double top = *std::max_element(peaks.begin(), peaks.end());
    std::sort(peaks.begin(), peaks.end());
    const an::RotDPeaks r = an::rotd_peaks(u1, u2);
    EXPECT_NEAR(r.largest, top, 1e-14 * top) << "trial " << trial;
    EXPECT_NEAR(r.median, (peaks[89] + peaks[90]) / 2, 1e-14 * top) << "trial " << trial;
  }
}

// The CSMIP V2 record's agency peaks against the integration of its own
// corrected acceleration: PGA and every time agree; so does PGV, to the
// agency's rounding; the displacement, which the agency takes from its own
// baseline, to about a tenth.
TEST(Analysis, RealRecordsAgencyPeaks) {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
  GTEST_SKIP() << "reads the record through gzip";
#else
  const std::string path =
      std::string(CDMG_REALDATA_DIR) + "/csmip_south_napa_2014_concord_58667/CE58667.V2.gz";
  FILE *in = popen(("gzip -dc '" + path + "' 2>/dev/null").c_str(), "r");
  ASSERT_NE(in, nullptr);
  std::vector<std::string> lines;
  for (char line[256]; std::fgets(line, sizeof line, in);) lines.emplace_back(line);
  pclose(in);
  int channels = 0;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    if (lines[at].find("points of accel data") == std::string::npos) continue;
    // The channel's own peaks stand among its header lines.
    double agency[3][2] = {};
    for (std::size_t h = at - 30; h < at; ++h) {
      for (int k = 0; k < 3; ++k) {
        const char *forms[] = {"Peak acceleration = %lf %*s at %lf",
                               "Peak velocity = %lf %*s at %lf",
                               "Peak displacement = %lf %*s at %lf"};
        std::string line = lines[h];
        std::sscanf(line.c_str(), forms[k], &agency[k][0], &agency[k][1]);
      }
    }
    const auto count = static_cast<std::size_t>(std::stoul(lines[at]));
    std::vector<double> a;
    for (std::size_t l = at + 1; a.size() < count; ++l) {
      for (std::size_t c = 0; c + 10 <= lines[l].size() && a.size() < count; c += 10)
        a.push_back(std::stod(lines[l].substr(c, 10)));
    }
    const an::Measures m = an::measures(a, 0.01, 0.01);
    SCOPED_TRACE("channel " + std::to_string(++channels));
    EXPECT_NEAR(m.pga.value, agency[0][0], 0.0005);
    EXPECT_NEAR(m.pgv.value, agency[1][0], 0.005);
    EXPECT_NEAR(m.pgd.value, agency[2][0], 0.15 * std::fabs(agency[2][0]));
    EXPECT_NEAR(m.pga.time, agency[0][1], 1e-9);
    EXPECT_NEAR(m.pgv.time, agency[1][1], 1e-9);
    EXPECT_NEAR(m.pgd.time, agency[2][1], 1e-9);
  }
#ifdef CDMG_REQUIRE_REALDATA
  ASSERT_EQ(channels, 3) << "the CSMIP record was not found at " << path;
#else
  if (channels == 0) GTEST_SKIP() << "the CSMIP record was not found at " << path;
#endif
  EXPECT_EQ(channels, 3);
#endif
}

} // namespace

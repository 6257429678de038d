#include "analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace cdmg::analysis {

namespace {

constexpr double kPi = std::numbers::pi;

inline double magnitude(double x) {
  return std::fabs(x);
}
// Written so that the compiler makes it one maxpd in vector code.
inline double larger(double a, double b) {
  return a > b ? a : b;
}
inline double smaller(double a, double b) {
  return a < b ? a : b;
}

} // namespace

Problem find_problem(std::span<const double> a, std::size_t &row) {
  row = 0;
  if (a.empty()) return Problem::no_rows;
  bool any = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!std::isfinite(a[i])) {
      row = i;
      return Problem::not_finite;
    }
    any = any || a[i] != 0.0;
  }
  return any ? Problem::none : Problem::all_zero;
}

namespace {

// One step of the integration, from a row to the next: the displacement
// from the velocity at the row, then the velocity.
inline void integrate_step(double &v, double &d, double now, double next, double dt) {
  d = d + dt * v + dt * dt * (2.0 * now + next) / 6.0;
  v = v + dt * (now + next) / 2.0;
}

} // namespace

void integrate(std::span<const double> a, double dt, std::span<double> v, std::span<double> d) {
  if (a.empty()) return;
  double velocity = 0.0;
  double displacement = 0.0;
  v[0] = d[0] = 0.0;
  for (std::size_t i = 0; i + 1 < a.size(); ++i) {
    integrate_step(velocity, displacement, a[i], a[i + 1], dt);
    v[i + 1] = velocity;
    d[i + 1] = displacement;
  }
}

namespace {

// The energy of step i (from row i to i + 1), in (m/s²)² s.
inline double step_energy(std::span<const double> a, std::size_t i, double dt, double unit) {
  const double p = a[i] * unit;
  const double q = a[i + 1] * unit;
  return dt * (p * p + p * q + q * q) / 3.0;
}

// The first rows of the largest magnitudes of a, v and d.
struct Tracked {
  double value = 0.0;
  std::size_t row = 0;
  void offer(double x, std::size_t i) {
    if (magnitude(x) > magnitude(value)) {
      value = x;
      row = i;
    }
  }
};

} // namespace

Measures measures(std::span<const double> a, double dt, double unit) {
  Measures m;
  m.problem = find_problem(a, m.problem_row);
  if (m.problem != Problem::none) return m;
  const std::size_t n = a.size();
  // One pass: velocity and displacement, their peaks, the energy and the absolute area (neither of
  // which branches on the data, whose sign changes at random).
  Tracked pga, pgv, pgd;
  pga.offer(a[0], 0);
  double v = 0.0;
  double d = 0.0;
  double total = 0.0;
  double cav = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    integrate_step(v, d, a[i], a[i + 1], dt);
    pga.offer(a[i + 1], i + 1);
    pgv.offer(v, i + 1);
    pgd.offer(d, i + 1);
    total += step_energy(a, i, dt, unit);
    const double x = magnitude(a[i]);
    const double y = magnitude(a[i + 1]);
    const double sum = x + y;
    // A step that crosses zero is two triangles, whose areas are in the
    // ratio of the squares of its ends.
    const double crossing = dt * (x * x + y * y) / (2.0 * (sum > 0.0 ? sum : 1.0));
    cav += a[i] * a[i + 1] < 0.0 ? crossing : dt * sum / 2.0;
  }
  const auto time = [dt](std::size_t row) { return static_cast<double>(row) * dt; };
  m.pga = {pga.value, time(pga.row)};
  m.pgv = {pgv.value, time(pgv.row)};
  m.pgd = {pgd.value, time(pgd.row)};
  m.arias = kPi / (2.0 * kStandardGravity) * total;
  m.cav = cav;
  m.cav_g = cav * unit / kStandardGravity;
  if (!(total > 0.0)) return m;
  // The Husid curve's times, each where the cumulative energy first reaches
  // its share, linear within that step.
  const double shares[3] = {0.05, 0.75, 0.95};
  double times[3] = {};
  std::size_t next = 0;
  double cumulative = 0.0;
  for (std::size_t i = 0; i + 1 < n && next < 3; ++i) {
    const double step = step_energy(a, i, dt, unit);
    while (next < 3 && cumulative + step >= shares[next] * total) {
      times[next] = time(i) + (shares[next] * total - cumulative) / step * dt;
      ++next;
    }
    cumulative += step;
  }
  for (; next < 3; ++next) times[next] = time(n - 1);
  m.d5_75 = times[1] - times[0];
  m.d5_95 = times[2] - times[0];
  return m;
}

std::vector<double> default_periods() {
  std::vector<double> periods(100);
  for (std::size_t k = 0; k < periods.size(); ++k)
    periods[k] = 0.01 * std::pow(1000.0, static_cast<double>(k) / 99.0);
  return periods;
}

namespace {

// The exact step of a damped oscillator (unit mass, stiffness ω², damping
// 2ζω) under a ground acceleration linear within the step: the state
// (u, u') at the next sample from the state now and the two accelerations.
// The coefficients of Nigam and Jennings (1969), as Chopra, Dynamics of
// Structures, table 5.2.1, gives them, with the force -a.
struct Step {
  double uu, uv, ua, ub; // u' = uu u + uv v + ua a_i + ub a_(i+1)
  double vu, vv, va, vb; // v' = vu u + vv v + va a_i + vb a_(i+1)
  double stiffness;      // ω²
  double damping;        // 2ζω
};

Step step_of(double period, double zeta, double h) {
  const double w = 2.0 * kPi / period;
  const double root = std::sqrt(1.0 - zeta * zeta);
  const double wd = w * root;
  const double e = std::exp(-zeta * w * h);
  const double s = std::sin(wd * h);
  const double c = std::cos(wd * h);
  const double r = zeta / root;
  const double k = w * w;
  const double q = 2.0 * zeta / (w * h);
  Step step{};
  step.uu = e * (r * s + c);
  step.uv = e * s / wd;
  step.ua = -(q + e * (((1.0 - 2.0 * zeta * zeta) / (wd * h) - r) * s - (1.0 + q) * c)) / k;
  step.ub = -(1.0 - q + e * ((2.0 * zeta * zeta - 1.0) / (wd * h) * s + q * c)) / k;
  step.vu = -e * (w / root) * s;
  step.vv = e * (c - r * s);
  step.va = -(-1.0 / h + e * ((w / root + zeta / (h * root)) * s + c / h)) / k;
  step.vb = -(1.0 - e * (r * s + c)) / (k * h);
  step.stiffness = k;
  step.damping = 2.0 * zeta * w;
  return step;
}

// One step, in the order of operations every stepping here uses, so that
// a chunk stepped again gives the same bits.
struct State {
  double u, v;
};
inline State advance(const Step &s, State x, double now, double next) {
  const double load_u = s.ua * now + s.ub * next;
  const double load_v = s.va * now + s.vb * next;
  return {s.uu * x.u + s.uv * x.v + load_u, s.vu * x.u + s.vv * x.v + load_v};
}

} // namespace

void respond(std::span<const double> a, double dt, double period, double zeta, std::span<double> u,
             std::span<double> v) {
  if (a.empty()) return;
  const Step s = step_of(period, zeta, dt);
  State x{0.0, 0.0};
  u[0] = v[0] = 0.0;
  for (std::size_t i = 0; i + 1 < a.size(); ++i) {
    x = advance(s, x, a[i], a[i + 1]);
    u[i + 1] = x.u;
    v[i + 1] = x.v;
  }
}

namespace {

// Oscillators stepped together over one pass of the samples, each lane its
// own period. The lanes' coefficients and states are arrays of constant
// length, so that the compiler keeps them in vector registers; eight lanes
// give the additions enough independent chains.
inline constexpr std::size_t kLanes = 8;

struct Bank {
  std::array<double, kLanes> uu, uv, ua, ub, vu, vv, va, vb, stiffness, damping;
};

struct BankPeaks {
  std::array<double, kLanes> u{}, v{}, s{};
};

// What RotD needs of a pass, rather than the whole history: the rows in
// chunks of kChunk, and for each chunk and lane the state at its first row
// and the least and largest displacement in it, at [c kLanes + l].
inline constexpr std::size_t kChunk = 64;
struct Chunks {
  std::vector<double> u, v, low, high;
};

// With chunks, Sd comes from their extents rather than from a peak of its
// own: one quantity fewer in registers.
template <bool chunked>
BankPeaks run_bank(std::span<const double> a, const Bank &b, Chunks *chunks) {
  const std::size_t n = a.size();
  std::array<double, kLanes> u{};
  std::array<double, kLanes> v{};
  std::array<double, kLanes> low{};
  std::array<double, kLanes> high{};
  BankPeaks peaks;
  for (std::size_t first = 0; first < n; first += kChunk) {
    const std::size_t last = std::min(n, first + kChunk);
    if constexpr (chunked) {
      const std::size_t at = first / kChunk * kLanes;
      for (std::size_t l = 0; l < kLanes; ++l) {
        chunks->u[at + l] = u[l];
        chunks->v[at + l] = v[l];
        low[l] = high[l] = u[l];
      }
    }
    // The rows after `first` to the chunk's end, and the next chunk's first.
    for (std::size_t i = first; i + 1 < n && i < last; ++i) {
      const double now = a[i];
      const double next = a[i + 1];
      for (std::size_t l = 0; l < kLanes; ++l) {
        const double load_u = b.ua[l] * now + b.ub[l] * next;
        const double load_v = b.va[l] * now + b.vb[l] * next;
        const double un = b.uu[l] * u[l] + b.uv[l] * v[l] + load_u;
        const double vn = b.vu[l] * u[l] + b.vv[l] * v[l] + load_v;
        u[l] = un;
        v[l] = vn;
        const double sa = b.stiffness[l] * un + b.damping[l] * vn;
        if constexpr (!chunked) peaks.u[l] = larger(peaks.u[l], magnitude(un));
        peaks.v[l] = larger(peaks.v[l], magnitude(vn));
        peaks.s[l] = larger(peaks.s[l], magnitude(sa));
      }
      if (chunked && i + 1 < last) {
        for (std::size_t l = 0; l < kLanes; ++l) {
          low[l] = smaller(low[l], u[l]);
          high[l] = larger(high[l], u[l]);
        }
      }
    }
    if constexpr (chunked) {
      const std::size_t at = first / kChunk * kLanes;
      for (std::size_t l = 0; l < kLanes; ++l) {
        chunks->low[at + l] = low[l];
        chunks->high[at + l] = high[l];
        peaks.u[l] = larger(peaks.u[l], larger(magnitude(low[l]), magnitude(high[l])));
      }
    }
  }
  return peaks;
}

// The periods of block `first` on, the last repeated to fill the lanes.
std::array<Step, kLanes> steps_of(std::span<const double> periods, std::size_t first, double zeta,
                                  double dt) {
  std::array<Step, kLanes> steps;
  for (std::size_t l = 0; l < kLanes; ++l)
    steps[l] = step_of(periods[std::min(first + l, periods.size() - 1)], zeta, dt);
  return steps;
}

Bank bank_of(const std::array<Step, kLanes> &steps) {
  Bank b{};
  for (std::size_t l = 0; l < kLanes; ++l) {
    const Step &s = steps[l];
    b.uu[l] = s.uu;
    b.uv[l] = s.uv;
    b.ua[l] = s.ua;
    b.ub[l] = s.ub;
    b.vu[l] = s.vu;
    b.vv[l] = s.vv;
    b.va[l] = s.va;
    b.vb[l] = s.vb;
    b.stiffness[l] = s.stiffness;
    b.damping[l] = s.damping;
  }
  return b;
}

Spectrum sized(std::size_t count) {
  return {std::vector<double>(count), std::vector<double>(count), std::vector<double>(count),
          std::vector<double>(count), std::vector<double>(count)};
}

void put(Spectrum &spectrum, std::size_t k, double period, const BankPeaks &p, std::size_t l) {
  const double w = 2.0 * kPi / period;
  spectrum.sd[k] = p.u[l];
  spectrum.sv[k] = p.v[l];
  spectrum.sa[k] = p.s[l];
  spectrum.psv[k] = w * p.u[l];
  spectrum.psa[k] = w * w * p.u[l];
}

// RotD: the peak over time of |u1 cos θ + u2 sin θ| at every whole degree
// is the support function of the convex hull of the points (u1, u2) and
// their mirror images, so only the hull's vertices count.

// cos and sin of 0° to 179°.
struct Angles {
  std::array<double, 180> cos, sin;
};
const Angles &angles() {
  static const Angles table = [] {
    Angles t{};
    for (std::size_t j = 0; j < 180; ++j) {
      t.cos[j] = std::cos(static_cast<double>(j) * kPi / 180.0);
      t.sin[j] = std::sin(static_cast<double>(j) * kPi / 180.0);
    }
    return t;
  }();
  return table;
}

struct Point {
  double x, y;
};

double cross(const Point &o, const Point &a, const Point &b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The convex hull's vertices, counter-clockwise (Andrew's monotone chain);
// `points` is sorted on the way.
std::vector<Point> hull_of(std::vector<Point> &points) {
  std::sort(points.begin(), points.end(),
            [](const Point &a, const Point &b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  std::vector<Point> hull(2 * points.size() + 1);
  std::size_t k = 0;
  for (const Point &p : points) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k > 1 ? k - 1 : k);
  return hull;
}

// A closed convex polygon about the origin as half-planes nx x + ny y <= c,
// with its inscribed circle for a quick first answer.
class Polygon {
public:
  // `hull` counter-clockwise, three vertices or more.
  explicit Polygon(const std::vector<Point> &hull) {
    for (std::size_t k = 0; k < hull.size(); ++k) {
      const Point &a = hull[k];
      const Point &b = hull[k + 1 < hull.size() ? k + 1 : 0];
      const Edge e{b.y - a.y, a.x - b.x, (b.y - a.y) * a.x - (b.x - a.x) * a.y};
      edges_.push_back(e);
      const double normal2 = e.nx * e.nx + e.ny * e.ny;
      if (normal2 > 0) inscribed2_ = std::min(inscribed2_, e.c * e.c / normal2);
    }
  }
  bool contains(const Point &p) const {
    if (p.x * p.x + p.y * p.y <= inscribed2_) return true;
    return std::all_of(edges_.begin(), edges_.end(),
                       [&p](const Edge &e) { return e.nx * p.x + e.ny * p.y <= e.c; });
  }

private:
  struct Edge {
    double nx, ny, c;
  };
  std::vector<Edge> edges_;
  double inscribed2_ = HUGE_VAL;
};

// A chunk's box: the least and largest u1 and u2 of its rows.
struct Box {
  double low1, high1, low2, high2;
};

// How far a box reaches along (c, s), s >= 0, at most: its farthest corner.
double reach(const Box &b, double c, double s) {
  const double top = larger(b.high1 * c, b.low1 * c) + b.high2 * s;
  const double bottom = smaller(b.high1 * c, b.low1 * c) + b.low2 * s;
  return larger(magnitude(top), magnitude(bottom));
}

// The peaks from the chunks' boxes and `points(c, out)`, which gives chunk
// c's points. A few chunks' points span a polygon of the points' own; a
// point inside it is never a projection's peak, nor is a chunk whose box
// lies inside it, and the rest are few.
template <class Points> RotDPeaks rotd_of(const std::vector<Box> &boxes, const Points &points) {
  const Angles &t = angles();
  std::vector<Point> chunk;
  // Every 10°, the point that reaches farthest in the chunk whose box
  // reaches farthest, and its mirror image.
  std::vector<Point> polygon;
  constexpr std::size_t kDirections = 18;
  std::array<double, kDirections> cosines;
  std::array<double, kDirections> sines;
  for (std::size_t d = 0; d < kDirections; ++d) {
    cosines[d] = t.cos[10 * d];
    sines[d] = t.sin[10 * d];
  }
  std::array<std::size_t, kDirections> best{};
  std::array<double, kDirections> farthest{};
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    std::array<double, kDirections> r;
    for (std::size_t d = 0; d < kDirections; ++d) r[d] = reach(boxes[k], cosines[d], sines[d]);
    for (std::size_t d = 0; d < kDirections; ++d) {
      if (r[d] > farthest[d]) {
        farthest[d] = r[d];
        best[d] = k;
      }
    }
  }
  for (std::size_t d = 0; d < kDirections; ++d) {
    const double c = cosines[d];
    const double s = sines[d];
    points(best[d], chunk);
    Point far = chunk[0];
    for (const Point &p : chunk) {
      if (magnitude(p.x * c + p.y * s) > magnitude(far.x * c + far.y * s)) far = p;
    }
    polygon.push_back(far);
    polygon.push_back({-far.x, -far.y});
  }
  std::vector<Point> candidates = polygon;
  const std::vector<Point> outline = hull_of(polygon);
  const bool filters = outline.size() >= 3;
  const Polygon filter(filters ? outline : std::vector<Point>{});
  for (std::size_t c = 0; c < boxes.size(); ++c) {
    const Box &b = boxes[c];
    if (filters && filter.contains({b.low1, b.low2}) && filter.contains({b.low1, b.high2}) &&
        filter.contains({b.high1, b.low2}) && filter.contains({b.high1, b.high2}))
      continue;
    points(c, chunk);
    for (const Point &p : chunk) {
      if (!filters || !filter.contains(p)) {
        candidates.push_back(p);
        candidates.push_back({-p.x, -p.y});
      }
    }
  }
  const std::vector<Point> hull = hull_of(candidates);
  std::array<double, 180> peaks{};
  for (std::size_t j = 0; j < 180; ++j) {
    for (const Point &p : hull)
      peaks[j] = larger(peaks[j], magnitude(p.x * t.cos[j] + p.y * t.sin[j]));
  }
  RotDPeaks result;
  result.largest = *std::max_element(peaks.begin(), peaks.end());
  std::sort(peaks.begin(), peaks.end());
  result.median = (peaks[89] + peaks[90]) / 2.0;
  return result;
}

} // namespace

RotDPeaks rotd_peaks(std::span<const double> u1, std::span<const double> u2) {
  const std::size_t n = u1.size();
  if (n == 0) return {};
  std::vector<Box> boxes((n + kChunk - 1) / kChunk);
  for (std::size_t c = 0; c < boxes.size(); ++c) {
    Box b{u1[c * kChunk], u1[c * kChunk], u2[c * kChunk], u2[c * kChunk]};
    for (std::size_t i = c * kChunk; i < std::min(n, (c + 1) * kChunk); ++i)
      b = {smaller(b.low1, u1[i]), larger(b.high1, u1[i]), smaller(b.low2, u2[i]),
           larger(b.high2, u2[i])};
    boxes[c] = b;
  }
  return rotd_of(boxes, [&](std::size_t c, std::vector<Point> &out) {
    out.clear();
    for (std::size_t i = c * kChunk; i < std::min(n, (c + 1) * kChunk); ++i)
      out.push_back({u1[i], u2[i]});
  });
}

Spectrum spectrum(std::span<const double> a, double dt, std::span<const double> periods,
                  double zeta) {
  Spectrum out = sized(periods.size());
  for (std::size_t first = 0; first < periods.size(); first += kLanes) {
    const BankPeaks p = run_bank<false>(a, bank_of(steps_of(periods, first, zeta, dt)), nullptr);
    for (std::size_t l = 0; l < kLanes && first + l < periods.size(); ++l)
      put(out, first + l, periods[first + l], p, l);
  }
  return out;
}

Horizontal horizontal(std::span<const double> a1, std::span<const double> a2, double dt,
                      std::span<const double> periods, double zeta) {
  const std::size_t n = a1.size();
  Horizontal out{sized(periods.size()), sized(periods.size()), std::vector<double>(periods.size()),
                 std::vector<double>(periods.size())};
  if (n == 0) return out;
  const std::size_t count = (n + kChunk - 1) / kChunk * kLanes;
  Chunks first_chunks{std::vector<double>(count), std::vector<double>(count),
                      std::vector<double>(count), std::vector<double>(count)};
  Chunks second_chunks = first_chunks;
  std::vector<Box> boxes(count / kLanes);
  for (std::size_t first = 0; first < periods.size(); first += kLanes) {
    const std::array<Step, kLanes> steps = steps_of(periods, first, zeta, dt);
    const Bank bank = bank_of(steps);
    const BankPeaks p1 = run_bank<true>(a1, bank, &first_chunks);
    const BankPeaks p2 = run_bank<true>(a2, bank, &second_chunks);
    for (std::size_t l = 0; l < kLanes && first + l < periods.size(); ++l) {
      const std::size_t k = first + l;
      put(out.first, k, periods[k], p1, l);
      put(out.second, k, periods[k], p2, l);
      for (std::size_t c = 0; c < boxes.size(); ++c) {
        const std::size_t at = c * kLanes + l;
        boxes[c] = {first_chunks.low[at], first_chunks.high[at], second_chunks.low[at],
                    second_chunks.high[at]};
      }
      // A chunk's points, stepped again from its first row's state.
      const RotDPeaks rotd = rotd_of(boxes, [&](std::size_t c, std::vector<Point> &points) {
        const std::size_t at = c * kLanes + l;
        State x1{first_chunks.u[at], first_chunks.v[at]};
        State x2{second_chunks.u[at], second_chunks.v[at]};
        points.assign(1, Point{x1.u, x2.u});
        for (std::size_t i = c * kChunk; i + 1 < std::min(n, (c + 1) * kChunk); ++i) {
          x1 = advance(steps[l], x1, a1[i], a1[i + 1]);
          x2 = advance(steps[l], x2, a2[i], a2[i + 1]);
          points.push_back({x1.u, x2.u});
        }
      });
      const double w = 2.0 * kPi / periods[k];
      out.rotd50[k] = w * w * rotd.median;
      out.rotd100[k] = w * w * rotd.largest;
    }
  }
  return out;
}

} // namespace cdmg::analysis

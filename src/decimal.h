// The decimal conversions of doubles that the program takes from the
// platform's library, all correctly rounded, behind one interface with two
// implementations: <charconv> where the C++ library converts floating point,
// and the C library's (exact in glibc, musl and MinGW's) where it does not,
// as in emscripten's libc++. Where both exist both are built, and a test
// holds them to each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace cdmg {

inline constexpr std::array<double, 23> kExactPowers = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value digits x 10^exponent rounded to single precision, when both are
// exact doubles (digits below 2^53, the exponent from -22 to 22). Trick,
// "Clinger's fast path" (W. D. Clinger, "How to read floating point numbers
// accurately", 1990): the one rounding of the product or quotient gives the
// nearest double.
inline float exact_decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative) {
  const double d = static_cast<double>(digits);
  const auto single =
      static_cast<float>(exponent >= 0 ? d * kExactPowers[static_cast<std::size_t>(exponent)]
                                       : d / kExactPowers[static_cast<std::size_t>(-exponent)]);
  return negative ? -single : single;
}

// The decimal value digits x 10^exponent, converted to the nearest double and
// that rounded to single precision: the fast path where it is exact, else
// the library's conversion.
float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative);

} // namespace cdmg

namespace cdmg::decimal {

enum class Notation { scientific, fixed };

// The room `format` needs: 400 characters take any double in either
// notation with up to 20 digits after the point.
inline constexpr int kFormatRoom = 400;

struct Conversions {
  // digits x 10^exponent, |exponent| at most 400, to the nearest double: an
  // infinity or zero where it is out of range.
  double (*to_double)(std::uint64_t digits, int exponent);
  // A finite value of at least 0 with `precision` (0 to 20) digits after
  // the point, "1.00000000e+10" or "0.01000000"; returns the end.
  char *(*format)(char *out, double value, Notation notation, int precision);
};

// The C library's: snprintf and strtod.
extern const Conversions c_library;
#if CDMG_FLOAT_CHARCONV
// <charconv>'s: std::to_chars and std::from_chars.
extern const Conversions charconv;
inline const Conversions &library = charconv;
#else
inline const Conversions &library = c_library;
#endif

} // namespace cdmg::decimal

// The decimal conversions of doubles that the program takes from the
// platform's library, all correctly rounded, behind one interface with two
// implementations: <charconv> where the C++ library converts floating point,
// and the C library's (exact in glibc, musl and MinGW's) where it does not,
// as in emscripten's libc++. Where both exist both are built, and a test
// holds them to each other.
#pragma once

#include <cstdint>

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

#include "decimal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#if CDMG_FLOAT_CHARCONV
#include <charconv>
#include <limits>
#endif

namespace cdmg::decimal {

namespace {

// "<digits>e<exponent>": twenty characters take any 64-bit mantissa.
char *decimal_text(char *text, std::uint64_t digits, int exponent) {
  const int length =
      std::snprintf(text, 48, "%llue%d", static_cast<unsigned long long>(digits), exponent);
  return text + length;
}

double c_to_double(std::uint64_t digits, int exponent) {
  char text[48];
  decimal_text(text, digits, exponent);
  // Out of range, strtod gives the infinity, or the nearest subnormal or zero.
  return std::strtod(text, nullptr);
}

char *c_format(char *out, double value, Notation notation, int precision) {
  const char *const conversion = notation == Notation::fixed ? "%.*f" : "%.*e";
  return out + std::snprintf(out, kFormatRoom, conversion, precision, value);
}

#if CDMG_FLOAT_CHARCONV
double charconv_to_double(std::uint64_t digits, int exponent) {
  char text[48];
  const char *const end = decimal_text(text, digits, exponent);
  double wide = 0.0;
  if (std::from_chars(text, end, wide).ec == std::errc::result_out_of_range)
    wide = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return wide;
}

char *charconv_format(char *out, double value, Notation notation, int precision) {
  const auto format =
      notation == Notation::fixed ? std::chars_format::fixed : std::chars_format::scientific;
  return std::to_chars(out, out + kFormatRoom, value, format, precision).ptr;
}
#endif

} // namespace

const Conversions c_library{c_to_double, c_format};
#if CDMG_FLOAT_CHARCONV
const Conversions charconv{charconv_to_double, charconv_format};
#endif

} // namespace cdmg::decimal

namespace cdmg {

float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative) {
  if (digits < (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22)
    return exact_decimal_to_float(digits, exponent, negative);
  // Past 10^400 any ten-digit mantissa gives an infinity or zero: clamping
  // keeps the text short.
  const auto single = static_cast<float>(decimal::library.to_double(
      digits, static_cast<int>(std::clamp<std::int64_t>(exponent, -400, 400))));
  return negative ? -single : single;
}

} // namespace cdmg

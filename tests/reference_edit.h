// The obvious F editing, for checking the program's: the C library's "%.3f"
// of the magnitude with the sign, zero and width rules on top.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace reference {

// Lays three-decimal digits of a magnitude into a field of `width`.
inline std::string fit_f3(const std::string &digits, bool negative, int width) {
  if (digits.find_first_not_of("0.") == std::string::npos) negative = false;
  const std::string text = (negative ? "-" : "") + digits;
  const auto w = static_cast<std::size_t>(width);
  return text.size() > w ? std::string(w, '*') : std::string(w - text.size(), ' ') + text;
}

inline std::string f3(double value, int width) {
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.3f", std::fabs(value));
  return fit_f3(digits, value < 0, width);
}

} // namespace reference

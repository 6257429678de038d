// F editing against snprintf("%.3f") with the sign, zero and width rules on top.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "edit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4) return 0;
  float value;
  std::memcpy(&value, data, sizeof value);
  if (std::isnan(value)) return 0;
  const double wide = value;
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.3f", std::fabs(wide));
  bool negative = wide < 0;
  if (std::strspn(digits, "0.") == std::strlen(digits)) negative = false;
  const std::string text = (negative ? "-" : "") + std::string(digits);
  for (int width : {7, 10}) {
    const auto w = static_cast<std::size_t>(width);
    const std::string expected =
        text.size() > w ? std::string(w, '*') : std::string(w - text.size(), ' ') + text;
    char got[10];
    cdmg::edit_f3(got, width, value);
    if (expected != std::string(got, w)) std::abort();
  }
  return 0;
}

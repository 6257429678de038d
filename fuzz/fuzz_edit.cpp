// F editing against snprintf("%.3f") with the sign, zero and width rules on
// top, and the SSE2 editing of four rows against its plain twin.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "edit.h"
#include "reference_edit.h"
#include "shared_types.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Shorter inputs are taken too, zero-padded: one that returns early gives
  // no coverage, and a fuzzer that starts from nothing never leaves it.
  float value = 0.0f;
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
#if CDMG_HAVE_SSE2
  // Up to twelve values, the three columns of four rows, zero-padded.
  float columns[3][4] = {};
  std::memcpy(columns, data, size < sizeof columns ? size : sizeof columns);
  bool any_nan = false;
  for (const auto &column : columns) {
    for (const float v : column) any_nan = any_nan || std::isnan(v);
  }
  if (!any_nan) {
    char fast[4 * cdmg::kRowBytes];
    char plain[4 * cdmg::kRowBytes];
    cdmg::plain::edit_values4(plain, columns[0], columns[1], columns[2]);
    if (cdmg::sse2::edit_values4(fast, columns[0], columns[1], columns[2])) {
      for (int k = 0; k < 4; ++k) {
        const std::size_t at = static_cast<std::size_t>(k) * cdmg::kRowBytes + 8;
        if (std::memcmp(fast + at, plain + at, cdmg::kRowBytes - 8) != 0) std::abort();
      }
    }
  }
#endif
  if (std::isnan(value)) return 0;
  for (int width : {7, 10}) {
    char got[10];
    cdmg::edit_f3(got, width, value);
    if (reference::f3(value, width) != std::string(got, static_cast<std::size_t>(width)))
      std::abort();
  }
  return 0;
}

// F editing against snprintf("%.3f") with the sign, zero and width rules on top.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "edit.h"
#include "reference_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Shorter inputs are taken too, zero-padded: one that returns early gives
  // no coverage, and a fuzzer that starts from nothing never leaves it.
  float value = 0.0f;
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
  if (std::isnan(value)) return 0;
  for (int width : {7, 10}) {
    char got[10];
    cdmg::edit_f3(got, width, value);
    if (reference::f3(value, width) != std::string(got, static_cast<std::size_t>(width)))
      std::abort();
  }
  return 0;
}

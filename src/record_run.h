// The loop of every record kernel over the bytes read: records of exactly
// 80 columns lying whole in the buffer, each read in one pass while the
// kernel takes it. Each kernel instantiates it with its own record reading
// inlined, so that the choice of kernel is made once per run of records.
#pragma once

#include <cstddef>

#include "simd.h"
#include "text_input.h"

namespace cdmg {

// Reads at most `most` records from `text`, values from `values` on;
// returns how many, and in `used` the bytes they took.
template <bool (*read)(const char *record80, float *values)>
CDMG_ALWAYS_INLINE std::size_t read_record_run(const char *text, std::size_t size, float *values,
                                               std::size_t most, std::size_t &used) {
  std::size_t count = 0;
  used = 0;
  for (; count < most; ++count, values += 8) {
    const std::size_t bytes = full_width_record_bytes(text + used, size - used);
    if (bytes == 0 || !read(text + used, values)) break;
    used += bytes;
  }
  return count;
}

} // namespace cdmg

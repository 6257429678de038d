// The loop of every four-row kernel over a run of table rows: blocks of
// four rows one after another while each is edited whole. Each kernel
// instantiates it with its own four-row editing inlined, so that the
// choice of kernel is made once per run of blocks.
#pragma once

#include <cstdint>

#include "shared_types.h"
#include "simd.h"

namespace cdmg {

// The times of four rows from row `first` on, as a single row takes them:
// the exact index, times dt, rounded once.
inline void row_times(float *t, std::int32_t first, float dt) {
  for (int k = 0; k < 4; ++k) {
    t[k] = static_cast<float>(static_cast<double>(first - 1 + k) * static_cast<double>(dt));
  }
}

// Rows from `first` (from 1) into `out`, at most `blocks` blocks of four;
// returns how many blocks were edited.
template <void (*times)(float *t, std::int32_t first, float dt),
          bool (*edit)(char *rows, const float *t, const float *x, const float *y, const float *z)>
CDMG_ALWAYS_INLINE std::int32_t edit_block_run(char *out, std::int32_t first, std::int32_t blocks,
                                               float dt, const float *x, const float *y,
                                               const float *z) {
  std::int32_t block = 0;
  for (; block < blocks; ++block, first += 4, out += 4 * kRowBytes) {
    alignas(16) float t[4];
    times(t, first, dt);
    const std::int32_t at = first - 1;
    if (!edit(out, t, x + at, y + at, z + at)) break;
  }
  return block;
}

} // namespace cdmg

// The loop of every row kernel over a run of table rows: blocks of four
// rows (two at a step for a kernel eight rows wide) one after another while
// each is edited whole. Each kernel instantiates it with its own row
// editing inlined, so that the choice of kernel is made once per run of
// blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "edit_pieces.h"
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

// Steps of `rows` rows (4 or 8) from row `first` on while each is edited
// whole, the times counted (place_counted_times): how many steps.
template <std::int32_t rows,
          bool (*values)(char *out, const float *x, const float *y, const float *z)>
CDMG_ALWAYS_INLINE std::int32_t edit_counted_steps(char *out, std::int32_t first,
                                                   std::int32_t steps, const float *x,
                                                   const float *y, const float *z) {
  auto whole = static_cast<std::uint32_t>(first - 1) / 100;
  auto hundredths = static_cast<std::uint32_t>(first - 1) % 100;
  std::int32_t step = 0;
  for (; step < steps; ++step, first += rows, out += rows * kRowBytes) {
    // The times first: each copy's last bytes are overwritten by the next field.
    if (hundredths <= 100 - rows) {
      // One whole part for all the rows.
      pieces::place_counted_times<rows>(out, whole, hundredths);
      hundredths += rows;
      if (hundredths == 100) {
        hundredths = 0;
        ++whole;
      }
    } else {
      for (std::size_t k = 0; k < static_cast<std::size_t>(rows); ++k) {
        pieces::place_counted_times<1>(out + k * kRowBytes, whole, hundredths);
        if (++hundredths == 100) {
          hundredths = 0;
          ++whole;
        }
      }
    }
    const std::int32_t at = first - 1;
    if (!values(out, x + at, y + at, z + at)) break;
  }
  return step;
}

// Rows from `first` (from 1) into `out`, at most `blocks` blocks of four;
// returns how many blocks were edited. With the run's interval
// (kSampleInterval, 0.01 s) the times are counted and the kernel edits the
// three values of each row, eight rows at a step where it has
// `eight_values`; with any other, it edits the times too.
template <
    void (*times)(float *t, std::int32_t first, float dt),
    bool (*four_rows)(char *rows, const float *t, const float *x, const float *y, const float *z),
    bool (*three_values)(char *rows, const float *x, const float *y, const float *z),
    bool (*eight_values)(char *rows, const float *x, const float *y, const float *z) = nullptr>
CDMG_ALWAYS_INLINE std::int32_t edit_block_run(char *out, std::int32_t first, std::int32_t blocks,
                                               float dt, const float *x, const float *y,
                                               const float *z) {
  if (dt == kSampleInterval && first + 4 * blocks - 1 <= pieces::kLastCountedRow) {
    std::int32_t done = 0;
    if constexpr (eight_values != nullptr) {
      const std::int32_t pairs = blocks / 2;
      done = 2 * edit_counted_steps<8, eight_values>(out, first, pairs, x, y, z);
      if (done < 2 * pairs) return done;
    }
    return done +
           edit_counted_steps<4, three_values>(out + static_cast<std::size_t>(done) * 4 * kRowBytes,
                                               first + 4 * done, blocks - done, x, y, z);
  }
  std::int32_t block = 0;
  for (; block < blocks; ++block, first += 4, out += 4 * kRowBytes) {
    alignas(16) float t[4];
    times(t, first, dt);
    const std::int32_t at = first - 1;
    if (!four_rows(out, t, x + at, y + at, z + at)) break;
  }
  return block;
}

} // namespace cdmg

// Number editing on output: the F fields of the table, alone and four rows
// at a time.
#pragma once

#include <cstdint>

#include "simd.h"

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);

// One table row: the time in F7.3, the three values in F10.3, commas
// between them and CR LF at the end; or the row from its values on.
void edit_row(char *row, float t, float x, float y, float z);
void edit_values(char *row, float x, float y, float z);

// The time fields, with their commas, of `rows` rows from row `first` (from
// 1) when the sample interval is 0.01 s and the last row is at most
// kLastCountedRow: row i's time, (i - 1) / 100, has three decimals, the last
// one 0, so its field comes from counting the rows. It is the F7.3 editing
// of the row's time (the tests hold the two to each other on every row).
// Each field's copy runs three bytes into the first value's place: the
// values are edited after the times.
inline constexpr std::int32_t kLastCountedRow = 100000;
void edit_counted_times(char *out, std::int32_t first, std::int32_t rows);

// The three values of four rows, with their line ends, from four values of
// each column. False, with `rows` partly written, when a value needs the
// general editing (asterisks, an infinity): the rows then go to edit_values.
// The plain twin is edit_values four times; the SSE2 form edits a column of
// four values at once and gives the same bytes.
// edit_value_blocks does so for `blocks` blocks one after another, with
// their values from x, y and z on: how many it edited before one it left.
namespace plain {
bool edit_values4(char *rows, const float *x, const float *y, const float *z);
std::int32_t edit_value_blocks(char *rows, std::int32_t blocks, const float *x, const float *y,
                               const float *z);
} // namespace plain
#if CDMG_HAVE_SSE2
namespace sse2 {
bool edit_values4(char *rows, const float *x, const float *y, const float *z);
std::int32_t edit_value_blocks(char *rows, std::int32_t blocks, const float *x, const float *y,
                               const float *z);
} // namespace sse2
#endif
inline std::int32_t edit_value_blocks(char *rows, std::int32_t blocks, const float *x,
                                      const float *y, const float *z) {
#if CDMG_HAVE_SSE2
  return sse2::edit_value_blocks(rows, blocks, x, y, z);
#else
  return plain::edit_value_blocks(rows, blocks, x, y, z);
#endif
}

} // namespace cdmg

// Number editing on output: the F fields of the table, alone and four rows
// at a time.
#pragma once

#include <cstdint>

#include "kernels.h"

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);

// One table row: the time in F7.3, the three values in F10.3, commas
// between them and CR LF at the end; or the row from its values on.
void edit_row(char *row, float t, float x, float y, float z);
void edit_values(char *row, float x, float y, float z);

// Four rows from four values of each column. False, with `rows` partly
// written, when a kernel leaves a value to the general editing (asterisks,
// an infinity) and the rows to edit_row. Every kernel gives what edit_row
// gives.
using FourRowEditor = bool (*)(char *rows, const float *t, const float *x, const float *y,
                               const float *z);
// Blocks of four rows from row `first` (from 1) into `out`, the times
// `dt` apart, at most `blocks` of them while each is edited whole: how many.
using BlockRunEditor = std::int32_t (*)(char *out, std::int32_t first, std::int32_t blocks,
                                        float dt, const float *x, const float *y, const float *z);
struct RowKernel {
  FourRowEditor four_rows;
  BlockRunEditor blocks;
};
namespace scalar {
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);
std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks, float dt,
                         const float *x, const float *y, const float *z);
} // namespace scalar
namespace sse2 {
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);
// The times of four rows, as block_run.h's row_times gives them.
void row_times(float *t, std::int32_t first, float dt);
std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks, float dt,
                         const float *x, const float *y, const float *z);
} // namespace sse2
namespace avx2 {
// Eight rows at a step in the run's blocks.
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);
std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks, float dt,
                         const float *x, const float *y, const float *z);
} // namespace avx2
// The kernel of an instruction set (null where this build or processor
// has none), and of the chosen one. The pieces are fetched one by one in
// every kernel: by gathers it takes fewer instructions, but more time on
// many processors.
RowKernel row_kernel(InstructionSet set);
const RowKernel &chosen_row_kernel();

} // namespace cdmg

// The plain kernel of the four-row editing: row after row.
#include "edit.h"

#include "block_run.h"
#include "shared_types.h"

namespace cdmg::scalar {

bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z) {
  for (int k = 0; k < 4; ++k) edit_row(rows + k * kRowBytes, t[k], x[k], y[k], z[k]);
  return true;
}

namespace {
bool three_values(char *rows, const float *x, const float *y, const float *z) {
  for (int k = 0; k < 4; ++k) edit_values(rows + k * kRowBytes, x[k], y[k], z[k]);
  return true;
}
} // namespace

std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks, float dt,
                         const float *x, const float *y, const float *z) {
  return edit_block_run<row_times, edit_four_rows, three_values>(out, first, blocks, dt, x, y, z);
}

} // namespace cdmg::scalar

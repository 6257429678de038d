#include "writer.h"

#include "edit.h"
#include "reader.h"
#include "units.h"

namespace cdmg {

void format_row(char *row, std::int32_t i, float dt, float x, float y, float z) {
  // The exact product of the row index and dt, rounded once to single.
  const auto t = static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt));
  edit_f7_3(row, t);
  row[7] = ',';
  edit_f10_3(row + 8, x);
  row[18] = ',';
  edit_f10_3(row + 19, y);
  row[29] = ',';
  edit_f10_3(row + 30, z);
  row[40] = '\r';
  row[41] = '\n';
}

void write_table(std::string_view name80, std::int32_t nt, float dt, const float *x, const float *y,
                 const float *z) {
  open_unit(kFileUnit, name80, OpenStatus::unknown);
  const std::int32_t rows = nt < kCapacity ? nt : kCapacity;
  if (rows > 0) {
    // One write statement per row, all alike, with nothing between them: a
    // report from any of them reads the same as from this one statement.
    Statement statement(kFileUnit, kRowFormat, Direction::writing);
    prepare_write(kFileUnit);
    for (std::int32_t i = 1; i <= rows; ++i) {
      format_row(reserve_output(kFileUnit, kRowBytes), i, dt, x[i - 1], y[i - 1], z[i - 1]);
      // Each row counts once whole, for a signal handler's closing.
      commit_output(kFileUnit, kRowBytes);
    }
  }
  close_unit(kFileUnit);
}

} // namespace cdmg

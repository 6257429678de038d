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

bool format_four_rows(char *rows, std::int32_t first, float dt, const float *x, const float *y,
                      const float *z) {
  float t[4];
  for (int k = 0; k < 4; ++k) {
    t[k] = static_cast<float>(static_cast<double>(first - 1 + k) * static_cast<double>(dt));
  }
  FourEditings time;
  FourEditings first_values;
  FourEditings second_values;
  FourEditings third_values;
  if (!prepare_four_f3<7>(t, time) || !prepare_four_f3<10>(x, first_values) ||
      !prepare_four_f3<10>(y, second_values) || !prepare_four_f3<10>(z, third_values)) {
    return false;
  }
  for (int k = 0; k < 4; ++k) {
    char *row = rows + k * kRowBytes;
    place_f7_3(row, time, k);
    row[7] = ',';
    place_f10_3(row + 8, first_values, k);
    row[18] = ',';
    place_f10_3(row + 19, second_values, k);
    row[29] = ',';
    place_f10_3(row + 30, third_values, k);
    row[40] = '\r';
    row[41] = '\n';
  }
  return true;
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
    constexpr std::size_t kBlockBytes = 4 * kRowBytes;
    for (std::int32_t i = 1; i <= rows;) {
      // Four rows at once where they fit without a write, so that the
      // writes fall where they would row by row.
      if (rows - i >= 3 && output_room(kFileUnit) >= kBlockBytes &&
          format_four_rows(reserve_output(kFileUnit, kBlockBytes), i, dt, x + (i - 1), y + (i - 1),
                           z + (i - 1))) {
        // Rows count once whole, for a signal handler's closing.
        commit_output(kFileUnit, kBlockBytes);
        i += 4;
        continue;
      }
      format_row(reserve_output(kFileUnit, kRowBytes), i, dt, x[i - 1], y[i - 1], z[i - 1]);
      commit_output(kFileUnit, kRowBytes);
      ++i;
    }
  }
  close_unit(kFileUnit);
}

} // namespace cdmg

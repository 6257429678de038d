#include "writer.h"

#include "edit.h"

namespace cdmg {

void format_row(char *row, std::int32_t i, float dt, float x, float y, float z) {
  edit_row(row, row_time(i, dt), x, y, z);
}

namespace {

constexpr std::size_t kBlockBytes = 4 * kRowBytes;

// Writes rows from `i` on in blocks of four while whole blocks fit in the
// buffer without a write, so that the writes fall where they would row by
// row, and the times can be counted; returns the first row not written.
std::int32_t write_row_blocks(Io &io, std::int32_t i, std::int32_t rows, float dt, const float *x,
                              const float *y, const float *z) {
  const auto room_blocks = static_cast<std::int32_t>(io.output_room(kFileUnit) / kBlockBytes);
  const std::int32_t row_blocks = (rows - i + 1) / 4;
  const std::int32_t blocks = room_blocks < row_blocks ? room_blocks : row_blocks;
  if (blocks == 0 || dt != kSampleInterval || i + 4 * blocks - 1 > kLastCountedRow) return i;
  // It fits: nothing is written, so nothing can fail.
  char *out = io.reserve_output(kFileUnit, static_cast<std::size_t>(blocks) * kBlockBytes);
  edit_counted_times(out, i, 4 * blocks);
  const std::int32_t edited = edit_value_blocks(out, blocks, x + i - 1, y + i - 1, z + i - 1);
  // Rows count once whole, for a signal handler's closing.
  io.commit_output(kFileUnit, static_cast<std::size_t>(edited) * kBlockBytes);
  return i + 4 * edited;
}

} // namespace

void write_table(Io &io, std::string_view name80, std::int32_t nt, float dt, const float *x,
                 const float *y, const float *z) {
  io.open(kFileUnit, name80, OpenStatus::unknown);
  const std::int32_t rows = nt < kCapacity ? nt : kCapacity;
  // (cppcheck takes nt for the zero it starts the run with.)
  // cppcheck-suppress knownConditionTrueFalse
  if (rows > 0) {
    // One write statement per row, all alike, with nothing between them: a
    // report from any of them reads the same as from this one statement.
    Statement statement(io, kFileUnit, kRowFormat, Direction::writing);
    io.prepare_write(kFileUnit, kRowBytes);
    for (std::int32_t i = 1; i <= rows;) {
      i = write_row_blocks(io, i, rows, dt, x, y, z);
      if (i > rows) break;
      // A row the blocks left: the last few, one that needs the general
      // editing, or one that fills the buffer.
      format_row(io.reserve_output(kFileUnit, kRowBytes), i, dt, x[i - 1], y[i - 1], z[i - 1]);
      io.commit_output(kFileUnit, kRowBytes);
      ++i;
    }
  }
  io.close(kFileUnit);
}

} // namespace cdmg

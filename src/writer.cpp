#include "writer.h"

#include "edit.h"

namespace cdmg {

void format_row(char *row, std::int32_t i, float dt, float x, float y, float z) {
  // The exact product of the row index and dt, rounded once to single.
  edit_row(row, static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt)), x, y, z);
}

namespace {

constexpr std::size_t kBlockBytes = 4 * kRowBytes;

// Writes rows from `i` on in blocks of four while whole blocks fit in the
// buffer without a write, so that the writes fall where they would row by
// row; returns the first row not written.
std::int32_t write_row_blocks(Frame &frame, std::int32_t i, std::int32_t rows, float dt,
                              const float *x, const float *y, const float *z) {
  const auto room_blocks = static_cast<std::int32_t>(frame.output_room(kFileUnit) / kBlockBytes);
  const std::int32_t row_blocks = (rows - i + 1) / 4;
  const std::int32_t blocks = room_blocks < row_blocks ? room_blocks : row_blocks;
  if (blocks == 0) return i;
  // It fits: nothing is written, so nothing can fail.
  char *out = nullptr;
  static_cast<void>(
      frame.reserve_output(kFileUnit, static_cast<std::size_t>(blocks) * kBlockBytes, out));
  const std::int32_t edited = chosen_row_kernel().blocks(out, i, blocks, dt, x, y, z);
  // Rows count once whole, for a signal handler's closing.
  frame.commit_output(kFileUnit, static_cast<std::size_t>(edited) * kBlockBytes);
  i += 4 * edited;
  return i;
}

} // namespace

void write_table(Io &io, std::string_view name80, std::int32_t nt, float dt, const float *x,
                 const float *y, const float *z) {
  io.open(kFileUnit, name80, OpenStatus::unknown);
  Frame &frame = io.frame();
  const std::int32_t rows = nt < kCapacity ? nt : kCapacity;
  // (cppcheck takes nt for the zero it starts the run with.)
  // cppcheck-suppress knownConditionTrueFalse
  if (rows > 0) {
    // One write statement per row, all alike, with nothing between them: a
    // report from any of them reads the same as from this one statement.
    Statement statement(io, kFileUnit, kRowFormat, Direction::writing);
    io.check(frame.prepare_write(kFileUnit, kRowBytes));
    for (std::int32_t i = 1; i <= rows;) {
      i = write_row_blocks(frame, i, rows, dt, x, y, z);
      if (i > rows) break;
      // A row the blocks left: the last few, one that needs the general
      // editing, or one that fills the buffer.
      format_row(io.reserve_output(kFileUnit, kRowBytes), i, dt, x[i - 1], y[i - 1], z[i - 1]);
      frame.commit_output(kFileUnit, kRowBytes);
      ++i;
    }
  }
  io.check(frame.close(kFileUnit));
}

} // namespace cdmg

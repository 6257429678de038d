#include "writer.h"

#include "edit.h"
#include "simd.h"

namespace cdmg {

void format_row(char *row, std::int32_t i, float dt, float x, float y, float z) {
  // The exact product of the row index and dt, rounded once to single.
  edit_row(row, static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt)), x, y, z);
}

bool format_four_rows(char *rows, std::int32_t first, float dt, const float *x, const float *y,
                      const float *z) {
  // The times as format_row takes them: the exact index, times dt, rounded once.
  alignas(16) float t[4];
#if CDMG_HAVE_SSE2
  const __m128i index = _mm_add_epi32(_mm_set1_epi32(first - 1), _mm_setr_epi32(0, 1, 2, 3));
  const __m128d step = _mm_set1_pd(static_cast<double>(dt));
  const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(index), step));
  const __m128 high =
      _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(index, index)), step));
  _mm_store_ps(t, _mm_movelh_ps(low, high));
#else
  for (int k = 0; k < 4; ++k) {
    t[k] = static_cast<float>(static_cast<double>(first - 1 + k) * static_cast<double>(dt));
  }
#endif
  return edit_four_rows(rows, t, x, y, z);
}

namespace {

constexpr std::size_t kBlockBytes = 4 * kRowBytes;

// Writes rows from `i` on in blocks of four while whole blocks fit in the
// buffer without a write, so that the writes fall where they would row by
// row; returns the first row not written. A loop without calls, so that
// its constants stay in registers.
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
  for (std::int32_t block = 0; block < blocks; ++block, i += 4, out += kBlockBytes) {
    if (!format_four_rows(out, i, dt, x + (i - 1), y + (i - 1), z + (i - 1))) break;
    // Rows count once whole, for a signal handler's closing.
    frame.commit_output(kFileUnit, kBlockBytes);
  }
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

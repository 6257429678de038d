#include "edit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "edit_pieces.h"
#include "shared_types.h"

namespace cdmg {

using namespace pieces;

namespace {

// What the pieces cannot hold: values too wide for the field (asterisks),
// and infinities, right-aligned under the sign rule.
void edit_general(char *out, int width, float value) {
  const auto w = static_cast<std::size_t>(width);
  std::memset(out, '*', w);
  if (std::isfinite(value)) return;
  std::memset(out, ' ', w - 3);
  const char *const text = std::isnan(value) ? "nan" : "inf";
  std::copy(text, text + 3, out + w - 3);
  if (value < 0) out[w - 4] = '-';
}

template <int width> void edit_field(char *out, float value, std::size_t decimal_bytes) {
  std::uint32_t n = 0;
  const bool below = thousandths(value, width == 7 ? kOnePiece : kTwoPieces, n);
  const std::uint32_t minus = std::signbit(value) && n != 0 ? 1000 : 0;
  const std::uint32_t whole = n / 1000;
  const std::uint32_t decimals = decimals_piece(n - whole * 1000);
  // Three columns take a minus only before two digits, six before five.
  if (!below || (minus != 0 && whole >= (width == 7 ? 100u : 100000u))) {
    edit_general(out, width, value);
    if (decimal_bytes > 4) out[width] = ',';
  } else if (width == 7) {
    place_field<7>(out, last_four_columns(minus + whole), 0, decimals, false, decimal_bytes);
  } else if (whole < 1000) {
    place_field<10>(out, whole_piece(minus + whole), 0, decimals, false, decimal_bytes);
  } else {
    const std::uint32_t thousands = whole / 1000;
    place_field<10>(out, last_four_columns(minus + thousands),
                    decimals_piece(whole - thousands * 1000) + 1, decimals, true, decimal_bytes);
  }
}

} // namespace

void edit_f3(char *out, int width, float value) {
  if (width == 7)
    edit_field<7>(out, value, 4);
  else
    edit_field<10>(out, value, 4);
}

void edit_row(char *row, float t, float x, float y, float z) {
  edit_field<7>(row, t, 8);
  edit_values(row, x, y, z);
}

void edit_values(char *row, float x, float y, float z) {
  edit_field<10>(row + 8, x, 8);
  edit_field<10>(row + 19, y, 8);
  edit_field<10>(row + 30, z, 4);
  row[40] = '\r';
  row[41] = '\n';
}

RowKernel row_kernel(InstructionSet set) {
  if (!available(set)) return {};
  switch (set) {
  case InstructionSet::plain:
    return {scalar::edit_four_rows, scalar::edit_blocks};
  case InstructionSet::sse2:
#if CDMG_HAVE_SSE2
    return {sse2::edit_four_rows, sse2::edit_blocks};
#else
    return {};
#endif
  case InstructionSet::avx2:
#if CDMG_BUILD_AVX2
    return {avx2::edit_four_rows, avx2::edit_blocks};
#else
    return {};
#endif
  }
  return {};
}

const RowKernel &chosen_row_kernel() {
  static const RowKernel chosen = row_kernel(chosen_instruction_set());
  return chosen;
}

} // namespace cdmg

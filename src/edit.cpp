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
  const bool below = thousandths(value, fit_limit(width), n);
  const std::uint32_t minus = std::signbit(value) && n != 0 ? 1000 : 0;
  const std::uint32_t whole = n / 1000;
  const std::uint32_t decimals = decimals_piece(n - whole * 1000);
  if (!below || !fits(width, whole, minus != 0)) {
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

void edit_counted_times(char *out, std::int32_t first, std::int32_t rows) {
  auto whole = static_cast<std::uint32_t>(first - 1) / 100;
  auto hundredths = static_cast<std::int32_t>((first - 1) % 100);
  while (rows > 0) {
    // The rows that share a whole part take its four columns once.
    char head[4];
    std::memcpy(head, text_at(last_four_columns(whole)), 4);
    const std::int32_t run = rows < 100 - hundredths ? rows : 100 - hundredths;
    const char *decimals = text_at(decimals_piece(10 * static_cast<std::uint32_t>(hundredths)));
    for (std::int32_t row = 0; row < run; ++row, out += kRowBytes, decimals += 80) {
      std::memcpy(out, head, 4);
      std::memcpy(out + 3, decimals, 8);
    }
    rows -= run;
    hundredths = 0;
    ++whole;
  }
}

bool plain::edit_values4(char *rows, const float *x, const float *y, const float *z) {
  for (int k = 0; k < 4; ++k) edit_values(rows + k * kRowBytes, x[k], y[k], z[k]);
  return true;
}

std::int32_t plain::edit_value_blocks(char *rows, std::int32_t blocks, const float *x,
                                      const float *y, const float *z) {
  return value_blocks<edit_values4>(rows, blocks, x, y, z);
}

} // namespace cdmg

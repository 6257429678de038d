// Number editing on output: the F fields of the table and the items of a
// console list line.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);
inline void edit_f7_3(char *out, float value);
inline void edit_f10_3(char *out, float value);

namespace edit_detail {

// Whole parts below 1000 as six right-aligned columns, with the minus sign
// ([1]) or without ([0]), padded to eight bytes for whole-word copies.
struct WholeColumnsTable {
  char text[2][1000][8];
};
extern const WholeColumnsTable kWholeColumns;
// ".ddd" for every three-decimal fraction.
struct DecimalsTable {
  char text[1000][4];
};
extern const DecimalsTable kPointAndDecimals;

template <int width> void edit_f3_general(char *out, float value);

// The value in thousandths, rounded to the nearest integer, ties to even:
// the float's 24 significant bits times 1000's 7 (125 x 8) are exact in
// double precision, so this one rounding is the correctly rounded result.
// Below 2^52, adding and taking away 2^52 is that rounding. Beyond 999999
// (and for infinities) it returns false, for the general editing.
inline bool thousandths_below_million(float value, std::uint32_t &thousandths,
                                      std::uint32_t &negative) {
  const double scaled = std::fabs(static_cast<double>(value)) * 1000.0;
  if (!(scaled < 999999.5)) return false;
  constexpr double kTwo52 = 4503599627370496.0;
  thousandths = static_cast<std::uint32_t>((scaled + kTwo52) - kTwo52);
  // A value that rounds to zero loses its minus sign. Taken from the sign
  // bit without a branch: signs of samples follow no pattern.
  negative =
      (std::bit_cast<std::uint32_t>(value) >> 31) & static_cast<std::uint32_t>(thousandths != 0);
  return true;
}

} // namespace edit_detail

inline void edit_f10_3(char *out, float value) {
  std::uint32_t n;
  std::uint32_t negative;
  if (!edit_detail::thousandths_below_million(value, n, negative)) {
    return edit_detail::edit_f3_general<10>(out, value);
  }
  const std::uint32_t whole = n / 1000;
  // Eight bytes, the last two overwritten by the decimals.
  std::memcpy(out, edit_detail::kWholeColumns.text[negative][whole], 8);
  std::memcpy(out + 6, edit_detail::kPointAndDecimals.text[n - whole * 1000], 4);
}

inline void edit_f7_3(char *out, float value) {
  std::uint32_t n;
  std::uint32_t negative;
  // Three columns take a whole part below 1000, or below 100 with its sign.
  if (!edit_detail::thousandths_below_million(value, n, negative) || (negative && n >= 100000)) {
    return edit_detail::edit_f3_general<7>(out, value);
  }
  const std::uint32_t whole = n / 1000;
  std::memcpy(out, edit_detail::kWholeColumns.text[negative][whole] + 3, 4);
  std::memcpy(out + 3, edit_detail::kPointAndDecimals.text[n - whole * 1000], 4);
}

// Text of a real list item: blank, sign position, nine significant digits
// with a forced decimal point ("  0.00999999978", "  1.E+010").
std::string real_item_text(float value);

// Text of an integer list item: blank, "-" for negatives, the digits.
std::string integer_item_text(std::int32_t value);

// Lays out one console list statement: items break onto a further line
// before the line position would reach 80, and every line ends with "\n".
class ListLine {
public:
  explicit ListLine(std::string &out) : out_(out) {}
  ListLine &text(std::string_view item);
  ListLine &integer(std::int32_t value);
  ListLine &real(float value);
  void end();

private:
  void break_before(std::size_t counted);
  void append(std::string_view placed);
  std::string &out_;
  std::size_t position_ = 0;
};

} // namespace cdmg

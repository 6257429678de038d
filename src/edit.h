// Number editing on output: the F fields of the table and the items of a
// console list line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);
void edit_f7_3(char *out, float value);
void edit_f10_3(char *out, float value);

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

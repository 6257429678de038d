// Console list output: the texts of list items and their layout in lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace cdmg {

// Text of a real list item: blank, sign position, nine significant digits
// with a forced decimal point ("  0.00999999978", "  1.E+010").
std::string real_item_text(float value);

// Text of an integer list item: blank, "-" for negatives, the digits.
std::string integer_item_text(std::int32_t value);

// Lays out one console list statement: items break onto a further line
// before the line position would reach 80, and every line ends with "\n".
// `end` gives the statement's text.
class ListLine {
public:
  ListLine &text(std::string_view item);
  ListLine &integer(std::int32_t value);
  ListLine &real(float value);
  std::string end() {
    out_ += '\n';
    return std::move(out_);
  }

private:
  void break_before(std::size_t counted);
  void append(std::string_view placed);
  std::string out_;
  std::size_t position_ = 0;
};

} // namespace cdmg

#include "edit.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace cdmg {

namespace {

constexpr std::size_t kLineWidth = 80;

// Writes the decimal digits of n right-aligned, ending just before `end`;
// returns the new start.
char *put_digits_backwards(char *end, std::uint64_t n) {
  do {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  return end;
}

void fill_field(char *out, int width, bool negative, const char *text, std::size_t length) {
  const std::size_t needed = length + (negative ? 1 : 0);
  if (needed > static_cast<std::size_t>(width)) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return;
  }
  const std::size_t blanks = static_cast<std::size_t>(width) - needed;
  std::memset(out, ' ', blanks);
  if (negative) out[blanks] = '-';
  std::memcpy(out + width - length, text, length);
}

} // namespace

void edit_f3(char *out, int width, float value) {
  const double wide = value;
  if (!std::isfinite(wide)) {
    // Infinities: the library's text under the same sign and width rules.
    const bool negative = wide < 0;
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, negative ? -wide : wide,
                                      std::chars_format::fixed, 3);
    fill_field(out, width, negative, text, static_cast<std::size_t>(result.ptr - text));
    return;
  }
  // A float has 24 significant bits and 1000 has 7 (125 x 8), so the product
  // is exact in double precision; rounding it to an integer, ties to even,
  // is then exactly the correctly rounded three-decimal result.
  const double thousandths = std::nearbyint(std::fabs(wide) * 1000.0);
  const bool negative = wide < 0 && thousandths != 0.0;
  if (thousandths >= 1e12) { // far wider than any field
    std::memset(out, '*', static_cast<std::size_t>(width));
    return;
  }
  const auto n = static_cast<std::uint64_t>(thousandths);
  char text[24];
  char *const end = text + sizeof text;
  char *start = put_digits_backwards(end - 4, n / 1000);
  const auto fraction = static_cast<unsigned>(n % 1000);
  end[-4] = '.';
  end[-3] = static_cast<char>('0' + fraction / 100);
  end[-2] = static_cast<char>('0' + fraction / 10 % 10);
  end[-1] = static_cast<char>('0' + fraction % 10);
  fill_field(out, width, negative, start, static_cast<std::size_t>(end - start));
}

std::string real_item_text(float value) {
  const double wide = value;
  std::string text = " ";
  text += wide < 0 ? '-' : ' ';
  const double magnitude = std::fabs(wide);
  if (magnitude == 0.0) return text + "0.";
  char buf[64];
  if (!std::isfinite(magnitude)) {
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude);
    return text.append(buf, r.ptr);
  }
  // The exponent of the value rounded to nine digits decides the notation.
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 8);
  const char *e =
      static_cast<const char *>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
  std::string digits;
  if (exponent >= -4 && exponent < 9) {
    r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, 8 - exponent);
    digits.assign(buf, r.ptr);
  } else {
    digits.assign(buf, static_cast<std::size_t>(e - buf));
  }
  if (digits.find('.') != std::string::npos) {
    while (digits.back() == '0') digits.pop_back();
  } else {
    digits += '.';
  }
  text += digits;
  if (!(exponent >= -4 && exponent < 9)) {
    text += 'E';
    text += exponent < 0 ? '-' : '+';
    char exp_digits[8];
    char *const exp_end = exp_digits + sizeof exp_digits;
    char *p = put_digits_backwards(exp_end, static_cast<std::uint64_t>(std::abs(exponent)));
    while (exp_end - p < 3) *--p = '0';
    text.append(p, exp_end);
  }
  return text;
}

std::string integer_item_text(std::int32_t value) {
  char buf[16];
  buf[0] = ' ';
  const auto r = std::to_chars(buf + 1, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

void ListLine::break_before(std::size_t counted) {
  // A sum of exactly 80 already counts as not fitting; an empty line never breaks.
  if (position_ != 0 && position_ + counted >= kLineWidth) {
    out_ += '\n';
    position_ = 0;
  }
}

void ListLine::append(std::string_view placed) {
  out_ += placed;
  position_ += placed.size();
}

ListLine &ListLine::text(std::string_view item) {
  break_before(item.size());
  // Only a character item that opens a line gets the leading blank.
  if (position_ == 0) append(" ");
  append(item);
  return *this;
}

ListLine &ListLine::integer(std::int32_t value) {
  const std::string text = integer_item_text(value);
  const std::size_t digits = text.size() - (value < 0 ? 2 : 1);
  break_before(digits);
  append(text);
  return *this;
}

ListLine &ListLine::real(float value) {
  const std::string text = real_item_text(value);
  break_before(text.size());
  append(text);
  return *this;
}

void ListLine::end() {
  out_ += '\n';
  position_ = 0;
}

} // namespace cdmg

#include "list_line.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decimal.h"

namespace cdmg {

namespace {
constexpr std::size_t kLineWidth = 80;
} // namespace

std::string real_item_text(float value) {
  const double wide = value;
  std::string text = " ";
  text += wide < 0 ? '-' : ' ';
  const double magnitude = std::fabs(wide);
  if (magnitude == 0.0) return text + "0.";
  if (!std::isfinite(magnitude)) return text + (std::isnan(magnitude) ? "nan" : "inf");
  // The exponent of the value rounded to nine digits decides the notation.
  char buf[decimal::kFormatRoom];
  const auto &library = decimal::library;
  const char *end = library.format(buf, magnitude, decimal::Notation::scientific, 8);
  const char *e =
      static_cast<const char *>(std::memchr(buf, 'e', static_cast<std::size_t>(end - buf)));
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
  const bool fixed = exponent >= -4 && exponent < 9;
  std::string digits;
  if (fixed) {
    end = library.format(buf, magnitude, decimal::Notation::fixed, 8 - exponent);
    digits.assign(buf, static_cast<std::size_t>(end - buf));
  } else {
    digits.assign(buf, static_cast<std::size_t>(e - buf));
  }
  if (digits.find('.') != std::string::npos) {
    while (digits.back() == '0') digits.pop_back();
  } else {
    digits += '.';
  }
  text += digits;
  if (!fixed) {
    // At least three exponent digits.
    char exp_digits[8];
    const auto d = std::to_chars(exp_digits, exp_digits + sizeof exp_digits, std::abs(exponent));
    text += exponent < 0 ? "E-" : "E+";
    text.append(static_cast<std::size_t>(3 - std::min<std::ptrdiff_t>(d.ptr - exp_digits, 3)), '0');
    text.append(exp_digits, d.ptr);
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
  const std::string item = integer_item_text(value);
  const std::size_t digits = item.size() - (value < 0 ? 2 : 1);
  break_before(digits);
  append(item);
  return *this;
}

ListLine &ListLine::real(float value) {
  const std::string item = real_item_text(value);
  break_before(item.size());
  append(item);
  return *this;
}

} // namespace cdmg

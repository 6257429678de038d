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

constexpr char kBlanks[] = "          "; // as wide as the widest field

constexpr edit_detail::DecimalsTable make_decimals() {
  edit_detail::DecimalsTable t{};
  for (int k = 0; k < 1000; ++k) {
    t.text[k][0] = '.';
    t.text[k][1] = static_cast<char>('0' + k / 100);
    t.text[k][2] = static_cast<char>('0' + k / 10 % 10);
    t.text[k][3] = static_cast<char>('0' + k % 10);
    t.text[k][4] = ',';
  }
  return t;
}

struct PairTable {
  char text[100][2];
};
constexpr PairTable make_pairs() {
  PairTable t{};
  for (int k = 0; k < 100; ++k) {
    t.text[k][0] = static_cast<char>('0' + k / 10);
    t.text[k][1] = static_cast<char>('0' + k % 10);
  }
  return t;
}
constexpr PairTable kPairTable = make_pairs();
constexpr const char (&kPairs)[100][2] = kPairTable.text;

void stars(char *out, int width) {
  std::memset(out, '*', static_cast<std::size_t>(width));
}

void fill_field(char *out, int width, bool negative, const char *text, std::size_t length) {
  const std::size_t needed = length + (negative ? 1 : 0);
  if (needed > static_cast<std::size_t>(width)) return stars(out, width);
  const std::size_t blanks = static_cast<std::size_t>(width) - needed;
  std::memset(out, ' ', blanks);
  if (negative) out[blanks] = '-';
  std::memcpy(out + width - length, text, length);
}

} // namespace

namespace edit_detail {

constexpr DecimalsTable kPointAndDecimals = make_decimals();

namespace {
constexpr WholeColumnsTable make_whole_columns() {
  WholeColumnsTable t{};
  for (int negative = 0; negative < 2; ++negative) {
    for (int whole = 0; whole < 1000; ++whole) {
      char *columns = t.text[negative * 1000 + whole];
      for (int k = 0; k < 8; ++k) columns[k] = ' ';
      int k = 5;
      int rest = whole;
      do {
        columns[k--] = static_cast<char>('0' + rest % 10);
        rest /= 10;
      } while (rest != 0);
      if (negative) columns[k] = '-';
    }
  }
  return t;
}
} // namespace

constexpr WholeColumnsTable kWholeColumns = make_whole_columns();

template <int width> void edit_f3_general(char *out, float value) {
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
  // Rounded as in thousandths_below_million.
  double thousandths = std::fabs(wide) * 1000.0;
  // From 10^9 thousandths on the text takes 11 characters or more.
  if (thousandths >= 1e9) return stars(out, width);
  constexpr double kTwo52 = 4503599627370496.0;
  thousandths = (thousandths + kTwo52) - kTwo52;
  const auto n = static_cast<std::uint32_t>(thousandths);
  const bool negative = wide < 0 && n != 0;
  std::uint32_t whole = n / 1000;
  const int whole_digits = whole >= 100000  ? 6 + (whole >= 1000000)
                           : whole >= 10000 ? 5
                           : whole >= 1000  ? 4
                           : whole >= 100   ? 3
                           : whole >= 10    ? 2
                                            : 1;
  const int length = whole_digits + 4 + (negative ? 1 : 0);
  if (length > width) return stars(out, width);
  std::memcpy(out, kBlanks, static_cast<std::size_t>(width));
  char *p = out + width - 4;
  std::memcpy(p, kPointAndDecimals.text[n % 1000], 4);
  // Whole digits, at least one, two at a time.
  while (whole >= 100) {
    p -= 2;
    std::memcpy(p, kPairs[whole % 100], 2);
    whole /= 100;
  }
  if (whole >= 10) {
    p -= 2;
    std::memcpy(p, kPairs[whole], 2);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  if (negative) p[-1] = '-';
}

template void edit_f3_general<7>(char *out, float value);
template void edit_f3_general<10>(char *out, float value);

} // namespace edit_detail

void edit_f3(char *out, int width, float value) {
  if (width == 7)
    edit_f7_3(out, value);
  else
    edit_f10_3(out, value);
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

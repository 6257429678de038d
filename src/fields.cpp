#include "fields.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace cdmg {

TextField read_text_field(const RecordView &record, char *out) {
  if (record.length < kTextWidth && !record.line_feed) return TextField::end_of_file;
  const std::size_t taken = record.length < kTextWidth ? record.length : kTextWidth;
  std::memcpy(out, record.chars, taken);
  std::memset(out + taken, ' ', kTextWidth - taken);
  return TextField::read;
}

namespace {

constexpr int kFieldWidth = 10;
constexpr int kImpliedDecimals = 4;

enum CharClass : std::uint8_t { kOther, kDigit, kBlank, kSign, kPoint, kExpLetter, kComma };

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> c{};
  for (int d = '0'; d <= '9'; ++d) c[static_cast<std::size_t>(d)] = kDigit;
  c[' '] = kBlank;
  c['+'] = kSign;
  c['-'] = kSign;
  c['.'] = kPoint;
  c['E'] = kExpLetter;
  c['e'] = kExpLetter;
  c['D'] = kExpLetter;
  c['d'] = kExpLetter;
  c[','] = kComma;
  return c;
}
constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

// Where the field's text stands: the parts of [sign] digits [. digits] [exponent].
enum class Part { start, mantissa, fraction, exp_letter, exp_sign, exp_digits };

constexpr std::array<double, 23> kExactPowers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Exponents so large that the result is an infinity or zero for any 10-digit
// mantissa; clamping keeps the text for the library short.
constexpr std::int64_t kExponentClamp = 400;

// Values past the exact range: the library's correctly rounded conversion.
double decimal_to_double_by_library(std::uint64_t digits, std::int64_t exponent) {
  if (exponent > kExponentClamp) exponent = kExponentClamp;
  if (exponent < -kExponentClamp) exponent = -kExponentClamp;
  char text[48];
  // Twenty characters take any 64-bit mantissa, the rest the exponent.
  char *const mark = std::to_chars(text, text + 20, digits).ptr;
  *mark = 'e';
  const auto r = std::to_chars(mark + 1, text + sizeof text, exponent);
  double wide = 0.0;
  const auto parsed = std::from_chars(text, r.ptr, wide);
  if (parsed.ec == std::errc::result_out_of_range) {
    wide = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return wide;
}

} // namespace

float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative) {
  double wide;
  if (digits < (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
    // Both operands are exact doubles, so the one rounding of the product or
    // quotient gives the nearest double.
    const double d = static_cast<double>(digits);
    wide = exponent >= 0 ? d * kExactPowers[static_cast<std::size_t>(exponent)]
                         : d / kExactPowers[static_cast<std::size_t>(-exponent)];
  } else {
    wide = decimal_to_double_by_library(digits, exponent);
  }
  const auto single = static_cast<float>(wide);
  return negative ? -single : single;
}

namespace {

bool is_digit(unsigned char c) {
  return static_cast<unsigned>(c - '0') < 10;
}

// The common shapes of a whole ten-column field: blanks, an optional sign,
// digits with at most one point, then an optional exponent of a letter
// and/or a sign and at least one digit. Anything else (commas, a field cut
// short, bad characters) is left to the full rule; false means "not handled".
bool read_plain_field(const unsigned char *field, RealField &result) {
  // A copy with a stop byte after the ten columns frees the loops from
  // counting: the NUL is neither digit, blank, point, sign nor letter.
  unsigned char p[kFieldWidth + 1];
  std::memcpy(p, field, kFieldWidth);
  p[kFieldWidth] = '\0';
  int k = 0;
  while (p[k] == ' ') ++k;
  bool negative = false;
  if (p[k] == '-' || p[k] == '+') negative = p[k++] == '-';
  std::uint64_t digits = 0;
  while (is_digit(p[k])) digits = digits * 10 + (p[k++] - '0');
  bool has_point = false;
  int fraction_digits = 0;
  if (p[k] == '.') {
    has_point = true;
    const int first = ++k;
    while (is_digit(p[k])) digits = digits * 10 + (p[k++] - '0');
    fraction_digits = k - first;
  }
  std::int64_t exponent = 0;
  if (kClasses[p[k]] == kExpLetter || p[k] == '-' || p[k] == '+') {
    if (kClasses[p[k]] == kExpLetter) ++k;
    bool exponent_negative = false;
    if (p[k] == '-' || p[k] == '+') exponent_negative = p[k++] == '-';
    const int first = k;
    while (is_digit(p[k])) exponent = exponent * 10 + (p[k++] - '0');
    if (k == first) return false; // blanks inside, or no digit: the full rule decides
    if (exponent_negative) exponent = -exponent;
  }
  // Only trailing blanks may follow; blanks inside the number go to the full rule.
  while (p[k] == ' ') ++k;
  if (k != kFieldWidth) return false;
  if (digits == 0) {
    result = {FieldStatus::value, 0.0f};
  } else {
    const std::int64_t scale = exponent - (has_point ? fraction_digits : kImpliedDecimals);
    result = {FieldStatus::value, decimal_to_float(digits, scale, negative)};
  }
  return true;
}

} // namespace

RealField read_real_field(const RecordView &record, std::size_t &pos) {
  if (pos + kFieldWidth <= record.length) {
    RealField result;
    if (read_plain_field(reinterpret_cast<const unsigned char *>(record.chars + pos), result)) {
      pos += kFieldWidth;
      return result;
    }
  }
  Part part = Part::start;
  bool negative = false;
  bool exponent_negative = false;
  bool has_point = false;
  std::uint64_t digits = 0;
  int fraction_digits = 0;
  std::int64_t exponent = 0;
  const std::size_t limit = pos + kFieldWidth;
  for (;;) {
    if (pos == limit) break;
    if (pos == record.length) {
      if (!record.line_feed) return {FieldStatus::end_of_file, 0.0f};
      break; // the line feed ends this field and, untaken, every later one
    }
    const auto ch = static_cast<unsigned char>(record.chars[pos++]);
    const std::uint8_t cls = kClasses[ch];
    if (cls == kBlank) continue;
    if (cls == kComma) {
      if (part == Part::exp_letter || part == Part::exp_sign)
        return {FieldStatus::bad_character, 0.0f};
      break;
    }
    switch (part) {
    case Part::start:
    case Part::mantissa:
    case Part::fraction:
      if (cls == kDigit) {
        // Ten columns hold at most ten digits, so this cannot overflow.
        digits = digits * 10 + (ch - '0');
        if (part == Part::fraction)
          ++fraction_digits;
        else
          part = Part::mantissa;
      } else if (cls == kSign) {
        if (part == Part::start) {
          negative = ch == '-';
          part = Part::mantissa;
        } else {
          exponent_negative = ch == '-';
          part = Part::exp_sign;
        }
      } else if (cls == kPoint && part != Part::fraction) {
        has_point = true;
        part = Part::fraction;
      } else if (cls == kExpLetter) {
        part = Part::exp_letter;
      } else {
        return {FieldStatus::bad_character, 0.0f};
      }
      break;
    case Part::exp_letter:
      if (cls == kSign) {
        exponent_negative = ch == '-';
        part = Part::exp_sign;
        break;
      }
      [[fallthrough]];
    case Part::exp_sign:
    case Part::exp_digits:
      if (cls != kDigit) return {FieldStatus::bad_character, 0.0f};
      exponent = exponent * 10 + (ch - '0');
      part = Part::exp_digits;
      break;
    }
  }
  if (part == Part::exp_letter || part == Part::exp_sign) return {FieldStatus::bad_character, 0.0f};
  if (digits == 0) return {FieldStatus::value, 0.0f};
  if (exponent_negative) exponent = -exponent;
  const std::int64_t scale = exponent - (has_point ? fraction_digits : kImpliedDecimals);
  return {FieldStatus::value, decimal_to_float(digits, scale, negative)};
}

} // namespace cdmg

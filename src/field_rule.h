// The field rule, inline, for every reader that takes fields one by one:
// the one definition of a real field. A fast path takes the shapes it
// recognises whole and leaves every other field to it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decimal.h"
#include "shared_types.h"
#include "simd.h"

namespace cdmg {

enum class FieldStatus { value, end_of_file, bad_character };

struct RealField {
  FieldStatus status;
  float value;
};

} // namespace cdmg

namespace cdmg::rule {

inline constexpr int kFieldWidth = 10;
inline constexpr int kImpliedDecimals = 4;

inline bool is_digit(unsigned char c) {
  return static_cast<unsigned>(c - '0') < 10;
}
inline bool is_sign(unsigned char c) {
  return c == '+' || c == '-';
}
inline bool is_exponent_letter(unsigned char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// decimal_to_float for at most ten digits, its common case inline.
CDMG_ALWAYS_INLINE float digits_to_float(std::uint64_t digits, std::int64_t exponent,
                                         bool negative) {
  if (exponent < -22 || exponent > 22) return decimal_to_float(digits, exponent, negative);
  return exact_decimal_to_float(digits, exponent, negative);
}

// Inlined where a record of 80 columns is read field by field; out of line
// as read_real_field.
CDMG_ALWAYS_INLINE RealField field_by_rule(const RecordView &record, std::size_t &pos) {
  // The field: up to ten columns, ended early by a comma (taken) or by the
  // record's end. One that the end of the file cuts short is at its end
  // unless a bad character came first.
  unsigned char p[kFieldWidth + 1];
  const std::size_t width = std::min<std::size_t>(record.length - pos, kFieldWidth);
  if (width == kFieldWidth) // a copy of constant size: two moves
    std::memcpy(p, record.chars + pos, kFieldWidth);
  else
    std::memcpy(p, record.chars + pos, width);
  p[width] = '\0'; // a stop for the loops
  // [sign] digits [. digits] [letter] [sign] digits, an exponent having a
  // letter, a sign or both; blanks count nowhere.
  std::size_t k = 0;
  const auto skip_blanks = [&] {
    while (p[k] == ' ') ++k;
  };
  const auto read_digits = [&](auto &number) {
    int count = 0;
    for (;; ++k) {
      if (is_digit(p[k])) {
        number = number * 10 + (p[k] - '0'); // at most ten digits: no overflow
        ++count;
      } else if (p[k] != ' ') {
        return count;
      }
    }
  };
  skip_blanks();
  const bool negative = p[k] == '-';
  if (is_sign(p[k])) ++k;
  std::uint64_t digits = 0;
  read_digits(digits);
  const bool has_point = p[k] == '.';
  int fraction_digits = 0;
  if (has_point) {
    ++k;
    fraction_digits = read_digits(digits);
  }
  const bool has_exponent = is_exponent_letter(p[k]) || is_sign(p[k]);
  if (is_exponent_letter(p[k])) {
    ++k;
    skip_blanks();
  }
  const bool exponent_negative = p[k] == '-';
  if (is_sign(p[k])) ++k;
  std::int64_t exponent = 0;
  const int exponent_digits = read_digits(exponent);
  const bool comma = k < width && p[k] == ',';
  if (!comma && k != width) return {FieldStatus::bad_character, 0.0f};
  pos += comma ? k + 1 : width;
  // A line feed ends this field and, untaken, every later one.
  if (!comma && width < kFieldWidth && !record.line_feed) return {FieldStatus::end_of_file, 0.0f};
  if (has_exponent && exponent_digits == 0) return {FieldStatus::bad_character, 0.0f};
  if (digits == 0) return {FieldStatus::value, 0.0f};
  if (exponent_negative) exponent = -exponent;
  const std::int64_t scale = exponent - (has_point ? fraction_digits : kImpliedDecimals);
  return {FieldStatus::value, digits_to_float(digits, scale, negative)};
}

// A field of an 80-column record read by the rule, when it takes exactly
// the field's ten columns.
inline bool record_field(const char *record80, int field, float &value) {
  std::size_t pos = static_cast<std::size_t>(field) * kFieldWidth;
  const RealField read = field_by_rule({record80, 80, true}, pos);
  value = read.value;
  return read.status == FieldStatus::value &&
         pos == static_cast<std::size_t>(field + 1) * kFieldWidth;
}

} // namespace cdmg::rule

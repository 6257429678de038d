#include "fields.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decimal.h"
#include "field_rule.h"

namespace cdmg {

TextField read_text_field(const RecordView &record, char *out) {
  if (record.length < kTextWidth && !record.line_feed) return TextField::end_of_file;
  const std::size_t taken = record.length < kTextWidth ? record.length : kTextWidth;
  std::memcpy(out, record.chars, taken);
  std::memset(out + taken, ' ', kTextWidth - taken);
  return TextField::read;
}

namespace {

// Values past the exact range: the library's correctly rounded conversion.
// Past 10^400 any ten-digit mantissa gives an infinity or zero: clamping
// keeps the text short.
double decimal_to_double_by_library(std::uint64_t digits, std::int64_t exponent) {
  return decimal::library.to_double(
      digits, static_cast<int>(std::clamp<std::int64_t>(exponent, -400, 400)));
}

} // namespace

float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative) {
  if (digits < (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22)
    return rule::exact_decimal_to_float(digits, exponent, negative);
  const auto single = static_cast<float>(decimal_to_double_by_library(digits, exponent));
  return negative ? -single : single;
}

// Out of line: the record loops stay small.
[[gnu::noinline]] RealField read_real_field(const RecordView &record, std::size_t &pos) {
  return rule::field_by_rule(record, pos);
}

RecordKernel record_kernel(InstructionSet set) {
  if (!available(set)) return {};
  switch (set) {
  case InstructionSet::plain:
    return {scalar::read_full_record_fields, scalar::read_records};
  case InstructionSet::sse2:
#if CDMG_HAVE_SSE2
    return {sse2::read_full_record_fields, sse2::read_records};
#else
    return {};
#endif
  case InstructionSet::avx2:
#if CDMG_BUILD_AVX2
    return {avx2::read_full_record_fields, avx2::read_records};
#else
    return {};
#endif
  }
  return {};
}

const RecordKernel &chosen_record_kernel() {
  static const RecordKernel chosen = record_kernel(chosen_instruction_set());
  return chosen;
}

} // namespace cdmg

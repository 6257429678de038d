#include "fields.h"

#include <cstring>

namespace cdmg {

TextField read_text_field(const RecordView &record, char *out) {
  if (record.length < kTextWidth && !record.line_feed) return TextField::end_of_file;
  const std::size_t taken = record.length < kTextWidth ? record.length : kTextWidth;
  std::memcpy(out, record.chars, taken);
  std::memset(out + taken, ' ', kTextWidth - taken);
  return TextField::read;
}

// Out of line: the record loops stay small.
[[gnu::noinline]] RealField read_real_field(const RecordView &record, std::size_t &pos) {
  return rule::field_by_rule(record, pos);
}

bool plain::read_full_record_fields(const char *record80, float *values) {
  for (int field = 0; field < 8; ++field) {
    if (!rule::record_field(record80, field, values[field])) return false;
  }
  return true;
}

} // namespace cdmg

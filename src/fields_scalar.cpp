// The plain kernel of the record reading: the rule, field after field.
#include "field_rule.h"
#include "fields.h"
#include "record_run.h"

namespace cdmg::scalar {

bool read_full_record_fields(const char *record80, float *values) {
  for (int field = 0; field < 8; ++field) {
    if (!rule::record_field(record80, field, values[field])) return false;
  }
  return true;
}

std::size_t read_records(const char *text, std::size_t size, float *values, std::size_t most,
                         std::size_t &used) {
  return read_record_run<read_full_record_fields>(text, size, values, most, used);
}

} // namespace cdmg::scalar

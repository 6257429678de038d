// Field rules on input: the 80-character text field, the 10-column real
// field with four implied decimals, and whole data records read at once.
#pragma once

#include <cstddef>

#include "field_rule.h"
#include "shared_types.h"
#include "simd.h"

namespace cdmg {

enum class TextField { read, end_of_file };

// Fills `out` (80 characters) from the record, padding a short record with
// blanks. A record of fewer than 80 characters that the end of the file cut
// off cannot fill the field.
TextField read_text_field(const RecordView &record, char *out);

// Reads one real field of up to 10 characters at `pos`, advancing it past
// what the field took (a comma that ends the field included; a line feed is
// never taken, so every later field of the record ends at once). What it
// takes after a bad character is unspecified.
RealField read_real_field(const RecordView &record, std::size_t &pos);

// The eight fields of a data record of 80 columns, when each reads as a
// value that takes its ten columns whole: true, and the values in `values`.
// False (`values` partly written) leaves the record to read_real_field,
// field by field. The plain twin is the rule itself; the SSE2 form takes the
// common shapes whole and gives what the rule gives.
namespace plain {
bool read_full_record_fields(const char *record80, float *values);
}
#if CDMG_HAVE_SSE2
namespace sse2 {
bool read_full_record_fields(const char *record80, float *values);
}
#endif
inline bool read_full_record_fields(const char *record80, float *values) {
#if CDMG_HAVE_SSE2
  return sse2::read_full_record_fields(record80, values);
#else
  return plain::read_full_record_fields(record80, values);
#endif
}

} // namespace cdmg

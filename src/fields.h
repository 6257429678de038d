// Field rules on input: the 80-character text field and the 10-column real
// field with four implied decimals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernels.h"
#include "shared_types.h"

namespace cdmg {

enum class TextField { read, end_of_file };

// Fills `out` (80 characters) from the record, padding a short record with
// blanks. A record of fewer than 80 characters that the end of the file cut
// off cannot fill the field.
TextField read_text_field(const RecordView &record, char *out);

enum class FieldStatus { value, end_of_file, bad_character };

struct RealField {
  FieldStatus status;
  float value;
};

// Reads one real field of up to 10 characters at `pos`, advancing it past
// what the field took (a comma that ends the field included; a line feed is
// never taken, so every later field of the record ends at once). What it
// takes after a bad character is unspecified.
RealField read_real_field(const RecordView &record, std::size_t &pos);

// The eight fields of a data record of exactly 80 columns, when each reads
// as a value that takes its ten columns whole: true, and the values in
// `values`. False (`values` partly written) sends the record to
// read_real_field, field by field. Every kernel gives what the rule gives.
using RecordReader = bool (*)(const char *record80, float *values);
// Such records one after another from `text` (`size` bytes), at most
// `most`, while each lies whole in the bytes and is read so: how many, and
// in `used` the bytes they took.
using RecordRunReader = std::size_t (*)(const char *text, std::size_t size, float *values,
                                        std::size_t most, std::size_t &used);
struct RecordKernel {
  RecordReader record;
  RecordRunReader run;
};
namespace scalar {
bool read_full_record_fields(const char *record80, float *values);
std::size_t read_records(const char *text, std::size_t size, float *values, std::size_t most,
                         std::size_t &used);
} // namespace scalar
namespace sse2 {
bool read_full_record_fields(const char *record80, float *values);
std::size_t read_records(const char *text, std::size_t size, float *values, std::size_t most,
                         std::size_t &used);
} // namespace sse2
namespace avx2 {
bool read_full_record_fields(const char *record80, float *values);
std::size_t read_records(const char *text, std::size_t size, float *values, std::size_t most,
                         std::size_t &used);
} // namespace avx2
// The kernel of an instruction set (null where this build or processor has
// none), and of the chosen one.
RecordKernel record_kernel(InstructionSet set);
const RecordKernel &chosen_record_kernel();

// The decimal value digits x 10^exponent, converted to the nearest double and
// that rounded to single precision.
float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative);

} // namespace cdmg

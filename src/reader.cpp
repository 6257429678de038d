#include "reader.h"

#include "fields.h"
#include "list_line.h"

namespace cdmg {

namespace {

constexpr int kFieldsPerRecord = 8;

void skip_record(Io &io) {
  Statement statement(io, kFileUnit, kListIo, Direction::reading);
  if (io.end_of_file(kFileUnit)) io.report(kEndOfFile, "read start");
  io.read_record(kFileUnit);
}

void skip_records(Io &io, int count) {
  for (int k = 0; k < count; ++k) skip_record(io);
}

void echo_header_record(Io &io) {
  char line[kTextWidth];
  io.read_text_record(kFileUnit, line);
  io.console(ListLine().text(std::string_view(line, kTextWidth)).end());
}

// Reads one data record into positions first..first+7 by the field rule;
// false at the end of the data. Positions beyond the capacity are never
// stored.
bool read_data_record(Io &io, float *samples, std::int32_t first) {
  Statement statement(io, kFileUnit, kDataFormat, Direction::reading);
  if (io.end_of_file(kFileUnit)) return false;
  const RecordView record = io.read_record(kFileUnit);
  std::size_t pos = 0;
  for (int field = 0; field < kFieldsPerRecord; ++field) {
    const RealField read = read_real_field(record, pos);
    if (read.status == FieldStatus::bad_character) io.report(kUnexpectedCharacter, "fmt");
    if (read.status == FieldStatus::end_of_file) return false;
    const std::int32_t position = first + field;
    if (position <= kCapacity) samples[position - 1] = read.value;
  }
  // A last record without a line feed keeps its values but is not counted.
  if (!record.line_feed) return false;
  // The statement's fields went past the array's end.
  if (first + kFieldsPerRecord - 1 > kCapacity) io.report(kSubscriptOutOfBounds, "fmt");
  return true;
}

// Reads data records from position `first` on while they lie whole in the
// buffer and read_full_record_fields takes them; returns how many. Nothing
// observable happens between these read statements (no file call, no
// failure), so one statement stands for them all.
std::int32_t read_full_records(Io &io, float *samples, std::int32_t first) {
  Statement statement(io, kFileUnit, kDataFormat, Direction::reading);
  if (io.end_of_file(kFileUnit)) return 0;
  // Records that fit the array whole.
  const auto most = static_cast<std::size_t>(kCapacity - first + 1) / kFieldsPerRecord;
  return static_cast<std::int32_t>(io.read_full_records(kFileUnit, samples + (first - 1), most));
}

} // namespace

std::int32_t read_component(Io &io, std::string_view name80, float *samples) {
  io.open(kFileUnit, name80, OpenStatus::old_file);
  skip_records(io, 5);
  echo_header_record(io); // record 6
  skip_records(io, 24);
  echo_header_record(io); // record 31
  skip_record(io);
  std::int32_t i = 0;
  std::int32_t in = 0;
  for (;;) {
    i += read_full_records(io, samples, kFieldsPerRecord * i + 1);
    // Any other record, and the end of the data, by the full rule.
    ++i;
    in = kFieldsPerRecord * (i - 1) + 1;
    if (!read_data_record(io, samples, in)) break;
  }
  io.console(ListLine().text("i,in=").integer(i).integer(in).end());
  const std::int32_t nt = kFieldsPerRecord * (i - 1);
  io.console(ListLine().text("nt=").integer(nt).end());
  io.close(kFileUnit);
  return nt;
}

} // namespace cdmg

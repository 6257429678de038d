// The I/O frame: numbered units over the system seam, their buffers, the
// opening and closing of files, and the closings that end a run. It says
// nothing on its own: an operation that fails returns the failure, and the
// statement layer decides what becomes of it.
#pragma once

#include "failure.h"
#include "shared_types.h"
#include "system.h"

namespace cdmg {

inline constexpr int kErrorUnit = 0;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;
inline constexpr int kFileUnit = 11;

enum class OpenStatus { old_file, unknown };

// Why every unit is being closed: the run's end, a failure that ends it, or
// a signal handler (whose closing never waits on a stream and never fails).
enum class ClosingCause { normal, after_failure, from_handler };

class Frame {
public:
  // Connects units 0, 5 and 6 to standard error, input and output.
  explicit Frame(System &system, int error_fd = 2, int input_fd = 0, int output_fd = 1);
  ~Frame();
  Frame(const Frame &) = delete;
  Frame &operator=(const Frame &) = delete;

  System &system() const { return system_; }

  // Connects a unit to the named file (80 characters, trailing blanks not
  // part of the name): status old_file must find it; unknown may create it.
  // The frame holds the units a run uses (0, 5, 6 and 11): any other
  // number is an illegal unit number.
  Failure open(int unit, const char *name, std::size_t length, OpenStatus status);
  // Writes what is left, cuts a written file back to its position, and
  // frees the unit. A unit whose closing failed stays connected, named.
  Failure close(int unit);
  // The unit's file name as opened, or nullptr for a standard unit.
  const char *file_name(int unit) const;

  // The unit's next record; its end-of-file mark is set once a read met the
  // end of its file.
  Failure read_record(int unit, RecordView &record);
  bool end_of_file(int unit) const;
  // Takes the unit's next records while each lies whole in the buffer
  // (TextInput::buffered_record) and `take` accepts it, at most `most`:
  // how many. `take` gets each record's view and its number from 0. Such a
  // record ends with a line feed, so the end-of-file mark stays as it is.
  using RecordTaker = bool (*)(const RecordView &record, std::size_t k, void *context);
  std::size_t take_records(int unit, std::size_t most, RecordTaker take, void *context);

  // Output of records of `record_bytes` each to a file unit: a unit that may
  // only read is reopened for writing first. A statement's text is placed,
  // then committed whole. A stream that cannot be positioned is written
  // whole records at a time, no more than a pipe takes whole: a write cut
  // short by a signal then never leaves a reader with part of a record.
  Failure prepare_write(int unit, std::size_t record_bytes);
  std::size_t output_room(int unit) const;
  Failure reserve_output(int unit, std::size_t size, char *&place);
  void commit_output(int unit, std::size_t size);

  // Console lines on unit 6; their writes are not examined.
  void write_console(const char *text, std::size_t length);
  void flush_console();
  // Standard error. With `now` (a handler) the write never waits.
  void write_error(const char *text, std::size_t length, bool now = false);

  // Closes every connected unit, failures ignored. A normal or failing
  // closing runs once; a handler's goes over every unit again, even one
  // that another closing left half-way, and writes only what was never
  // confirmed.
  void close_all(ClosingCause cause);

private:
  struct Units;
  System &system_;
  Units *units_; // owned
};

} // namespace cdmg

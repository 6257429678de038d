// The statement layer's side of the frame: the read and write statements,
// the state they leave for the run-time failure report, and the report,
// which turns a failure into its lines on standard error and the abnormal
// end.
#pragma once

#include <cstddef>
#include <string_view>

#include "frame.h"

namespace cdmg {

// A format as the program holds it, from its opening parenthesis through the
// matching closing one. A list statement's "list io" stands in its place,
// and no end of a statement clears it.
struct Format {
  const char *text;
  std::size_t length;
  bool formatted;
};
inline constexpr Format kListIo{"list io", 7, false};
inline constexpr Format kTextFormat{"(a80)", 5, true};
inline constexpr Format kDataFormat{"(8E10.4)", 8, true};
// The row format keeps the byte 2 in place of the apostrophes around its comma.
inline constexpr Format kRowFormat{"(F7.3,3(\x02,\x02,F10.3))", 19, true};

enum class Direction { reading, writing };

class Io {
public:
  explicit Io(Frame &frame) : frame_(frame) {}
  Io(const Io &) = delete;
  Io &operator=(const Io &) = delete;

  // A failure of the frame's ends the run with the report.
  void check(const Failure &failure) {
    if (failure) report(failure);
  }
  // The frame's operations so checked. An opening makes its unit the
  // current one.
  void open(int unit, std::string_view name80, OpenStatus status);
  void close(int unit) { check(frame_.close(unit)); }
  bool end_of_file(int unit) const { return frame_.end_of_file(unit); }
  RecordView read_record(int unit);
  // Data records of 80 columns or more that lie whole in the unit's buffer,
  // each taken while read_full_record_fields reads it, at most `most`, into
  // `values` on: how many. The record it declines stays the unit's next.
  std::size_t read_full_records(int unit, float *values, std::size_t most);

  // The table's write: records of `record_bytes` each, placed where
  // reserve_output says (room for `size` bytes, flushing first when there
  // is not), and counted once committed. While output_room holds a text no
  // write happens.
  void prepare_write(int unit, std::size_t record_bytes) {
    check(frame_.prepare_write(unit, record_bytes));
  }
  std::size_t output_room(int unit) const { return frame_.output_room(unit); }
  char *reserve_output(int unit, std::size_t size);
  void commit_output(int unit, std::size_t size) { frame_.commit_output(unit, size); }

  // One console list output statement on unit 6: its text as ListLine laid it out.
  void console(std::string_view text);
  // What the console holds goes out now: the person sees a prompt.
  void flush_console() { frame_.flush_console(); }
  // One "(a80)" read statement: the unit's next record as an 80-character
  // text. The end of the file, met before or inside it, ends the run.
  void read_text_record(int unit, char *text80);

  // Writes the report to standard error and ends the process abnormally
  // after closing every unit.
  [[noreturn]] void report(const Failure &failure);
  [[noreturn]] void report(RunTimeError error, const char *context) {
    report(Failure::run_time(error, context));
  }

private:
  friend class Statement;

  Frame &frame_;
  int current_unit_ = -1;
  Format current_format_{nullptr, 0, false};
  bool format_current_ = false;
  Direction direction_ = Direction::writing;
  bool report_begun_ = false;
};

// One read or write statement: sets the current unit, format and direction
// for the report, and ends a formatted statement when it goes out of scope
// ("list io" stays current until the next statement).
class Statement {
public:
  Statement(Io &io, int unit, const Format &format, Direction direction)
      : io_(io), formatted_(format.formatted) {
    io.current_unit_ = unit;
    io.current_format_ = format;
    io.format_current_ = true;
    io.direction_ = direction;
  }
  ~Statement() {
    if (formatted_) io_.format_current_ = false;
  }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

private:
  Io &io_;
  bool formatted_;
};

} // namespace cdmg

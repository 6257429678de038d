// The I/O frame: numbered units and their connections, the statement state
// kept for the run-time failure report, console list output, the failure
// report itself and the closings that end a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "edit.h"
#include "fields.h"

namespace cdmg {

inline constexpr int kErrorUnit = 0;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;
inline constexpr int kFileUnit = 11;

// A format as the program holds it, from its opening parenthesis through the
// matching closing one.
// A list statement's "list io" stands in its place, and no end of a
// statement clears it.
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
enum class OpenStatus { old_file, unknown };

// Run-time error numbers of the failure report.
inline constexpr int kEndOfFile = -1;
inline constexpr int kNullFileName = 107;
inline constexpr int kTruncationFailed = 111;
inline constexpr int kUnexpectedCharacter = 115;
inline constexpr int kSubscriptOutOfBounds = 125;
inline constexpr int kCannotWrite = 127;

// Start-up: connects units 0, 5 and 6 to standard error, input and output.
void connect_standard_units(int error_fd = 2, int input_fd = 0, int output_fd = 1);

// For running the sequence more than once in one process (tests, fuzzing):
// frees every unit and forgets that a report or closing happened.
void reset_units();

// Marks the start of a read or write statement on `unit` for the report.
void begin_statement(int unit, const Format &format, Direction direction);
// The end of a formatted statement leaves no format current.
void end_formatted_statement();

// One read or write statement: sets the current unit, format and direction
// for the report, and ends a formatted statement when it goes out of scope
// ("list io" stays current until the next statement).
class Statement {
public:
  Statement(int unit, const Format &format, Direction direction) : formatted_(format.formatted) {
    begin_statement(unit, format, direction);
  }
  ~Statement() {
    if (formatted_) end_formatted_statement();
  }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

private:
  bool formatted_;
};

void open_unit(int unit, std::string_view name80, OpenStatus status);
void close_unit(int unit);

// The end-of-file mark of a unit; set once a read met the end of its file.
bool end_of_file_mark(int unit);

// Reads the unit's next record; a failed read ends the run.
RecordView read_record(int unit);

// The unit's bytes read but not yet taken, for reading whole records in
// place; then taking what was read. The records taken end with line feeds,
// so the end-of-file mark stays as it is.
const char *buffered_input(int unit, std::size_t &size);
void take_input(int unit, std::size_t bytes);

// One "(a80)" read statement: the unit's next record as an 80-character
// text. The end of the file, met before or inside it, ends the run.
void read_text_record(int unit, char *text80);

// Row output to a file unit: a statement's text is placed in the unit's
// buffer and only counts once committed, so a signal handler that closes the
// unit never writes half a row.
void prepare_write(int unit);
// Bytes that fit before the buffer must be written.
std::size_t output_room(int unit);
char *reserve_output(int unit, std::size_t size);
void commit_output(int unit, std::size_t size);

// One console list output statement on unit 6.
class ConsoleLine {
public:
  ConsoleLine() : line_(text_) {}
  ConsoleLine &text(std::string_view item) {
    line_.text(item);
    return *this;
  }
  ConsoleLine &integer(std::int32_t value) {
    line_.integer(value);
    return *this;
  }
  ConsoleLine &real(float value) {
    line_.real(value);
    return *this;
  }
  void end();

private:
  std::string text_;
  ListLine line_;
};

// Hands every complete console line to standard output now.
void flush_console();

// The run-time failure report: writes to standard error and ends the process
// abnormally. `report` takes -1 or a run-time error number from 100 on;
// `report_system_error` a system error number.
[[noreturn]] void report(int error, const char *context);
[[noreturn]] void report_system_error(int error, const char *context);

// Closes every connected unit once per process.
void exit_time_closing();
// Flush, close all units, abort without the abort handler.
[[noreturn]] void abnormal_end();

// How a signal handler ends the run: the closing as far as it can go without
// blocking or reporting, then status 1 or the abort (`abnormal`).
[[noreturn]] void end_from_handler(bool abnormal);

// Writes a whole message to standard error. Signal-safe.
void write_error_stream(const char *text, std::size_t length);

} // namespace cdmg

// Units: their connections, opening and closing, record reads, table output
// and the closings that end a run.
#include <cerrno>
#include <cstring>

#include "frame_state.h"
#include "platform.h"
#include "system.h"

namespace cdmg {

namespace frame {

Unit units[kUnitCount];
OutputBuffer console_output;
int current_unit = -1;
bool format_current = false;
Format current_format{nullptr, 0, false};
Direction current_direction = Direction::writing;
int error_stream_fd = 2;
volatile std::sig_atomic_t closing_from_handler = 0;

namespace {

// Unit 11 reads a component file or writes the table, never both at once,
// so its reading and writing share one buffer.
char file_storage[1 << 16];
char console_in_storage[1 << 12];
char console_out_storage[1 << 13];
TextInput file_input;
TextInput console_input;
OutputBuffer file_output;

volatile std::sig_atomic_t closing_done = 0;

// A named unit on a file that can be repositioned: a handler may write its
// unconfirmed bytes again at their own offsets, which changes nothing that
// reached the file already.
bool positioned(const Unit &u) {
  return u.named && u.repositionable;
}

// Writes everything, completing short writes and retrying interrupted ones:
// at `offset` when it is not negative, else where the stream stands.
int write_all(int fd, const char *data, std::size_t size, std::int64_t offset = -1) {
  while (size > 0) {
    std::size_t done = 0;
    const int error = offset < 0 ? system().write(fd, data, size, done)
                                 : system().write_at(fd, data, size, offset, done);
    if (error == EINTR) continue;
    if (error != 0) return error;
    if (done == 0) return EIO;
    data += done;
    size -= done;
    if (offset >= 0) offset += static_cast<std::int64_t>(done);
  }
  return 0;
}

// A handler's flush: the committed bytes the run has not confirmed, each
// written once. Bytes of a write the handler interrupted may have reached
// the file; on a positioned unit they are written again where they belong,
// elsewhere they are left out, since writing them again could double them.
void flush_from_handler(Unit &u) {
  OutputBuffer &out = *u.output;
  const std::size_t committed = out.committed.load(std::memory_order_acquire);
  std::size_t from = out.written.load(std::memory_order_acquire);
  const std::size_t in_flight_end = out.in_flight_end.load(std::memory_order_acquire);
  if (in_flight_end > from) {
    if (positioned(u)) {
      static_cast<void>(write_all(u.fd, out.data + from, in_flight_end - from,
                                  out.base + static_cast<std::int64_t>(from)));
      static_cast<void>(system().seek(u.fd, out.base + static_cast<std::int64_t>(in_flight_end)));
    }
    from = in_flight_end;
  }
  if (committed > from) static_cast<void>(write_all(u.fd, out.data + from, committed - from));
  out.written.store(committed, std::memory_order_release);
}

// Flushes a unit. A failure of a named unit ends the run with the report,
// and the failed bytes are never offered again; console writes are not
// examined. In a handler's closing only what was never confirmed is
// written, and nothing is reported. The write section comes first: on
// Windows the run's thread then waits here while the handler's closes.
void flush_unit(int unit) {
  Unit &u = units[unit];
  platform::WriteSection section;
  if (closing_from_handler) {
    if (u.output && !u.write_failed) flush_from_handler(u);
    return;
  }
  const int error = flush_output(u);
  if (error != 0 && u.named) {
    u.write_failed = true;
    report_system_error(error, "write");
  }
}

void copy_name(Unit &u, std::string_view trimmed) {
  std::memcpy(u.name, trimmed.data(), trimmed.size());
  u.name[trimmed.size()] = '\0';
  u.name_length = trimmed.size();
  u.named = true;
}

// Cuts a written file back to its current position, where it was longer;
// false when that fails. A position or size that cannot be taken fails it
// too: an older, longer file would otherwise keep its tail unnoticed. A
// stream that cannot be positioned at all (a FIFO) has nothing to cut.
bool cut_back_to_position(const Unit &u) {
  System &sys = system();
  std::int64_t position = -1;
  std::int64_t size = -1;
  const int unpositioned = sys.position(u.fd, position);
  if (unpositioned == ESPIPE) return true;
  if (unpositioned != 0 || sys.size(u.fd, size) != 0) return false;
  return position >= size || sys.cut_back(u.fd, position) == 0;
}

// The opening attempts of a name: the first that succeeds gives the
// descriptor; else the error of the last. A FIFO that is only read is
// opened for reading only: a reader that also writes would never see the
// end of its data.
int open_attempts(const char *name, OpenStatus status, FileKind kind, int &fd, bool &may_read,
                  bool &may_write) {
  int error = 0;
  may_read = may_write = true;
  if (!(status == OpenStatus::old_file && kind == FileKind::fifo)) {
    error = system().open(name, OpenMode::read_write, fd);
    if (error == 0) return 0;
  }
  may_write = false;
  error = system().open(name, OpenMode::read_only, fd);
  if (error == 0 || status != OpenStatus::unknown) return error;
  may_read = false;
  may_write = true;
  return system().open(name, OpenMode::create_write_only, fd);
}

} // namespace

int flush_output(Unit &u) {
  if (!u.output || u.write_failed) return 0;
  OutputBuffer &out = *u.output;
  platform::WriteSection section;
  const std::size_t end = out.committed.load(std::memory_order_acquire);
  std::size_t done = out.written.load(std::memory_order_acquire);
  int error = 0;
  out.in_flight_end.store(end, std::memory_order_release);
  while (done < end) {
    std::size_t put = 0;
    error = system().write(u.fd, out.data + done, end - done, put);
    if (error == EINTR) continue;
    if (error == 0 && put == 0) error = EIO;
    if (error != 0) break;
    done += put;
    out.written.store(done, std::memory_order_release);
  }
  // The buffer starts again; bytes that failed are never offered again.
  out.restart(out.base + static_cast<std::int64_t>(done));
  return error;
}

} // namespace frame

using namespace frame;

void write_error_stream(const char *text, std::size_t length) {
  static_cast<void>(write_all(error_stream_fd, text, length));
}

void connect_standard_units(int error_fd, int input_fd, int output_fd) {
  System &sys = system();
  error_stream_fd = error_fd;
  Unit &err = units[kErrorUnit];
  err = Unit{};
  err.connected = true;
  err.fd = error_fd;
  err.may_write = true;
  err.last_write = true;
  err.repositionable = !sys.is_character_device(error_fd);

  Unit &in = units[kInputUnit];
  in = Unit{};
  in.connected = true;
  in.fd = input_fd;
  in.may_read = true;
  in.repositionable = !sys.is_character_device(input_fd);
  console_input.attach(input_fd, console_in_storage, sizeof console_in_storage);
  in.input = &console_input;

  Unit &out = units[kOutputUnit];
  out = Unit{};
  out.connected = true;
  out.fd = output_fd;
  out.may_write = true;
  out.last_write = true;
  out.repositionable = !sys.is_character_device(output_fd);
  out.flush_each_line = sys.is_terminal(output_fd);
  console_output.data = console_out_storage;
  console_output.capacity = sizeof console_out_storage;
  console_output.restart(0);
  out.output = &console_output;
}

void begin_statement(int unit, const Format &format, Direction direction) {
  current_unit = unit;
  current_format = format;
  format_current = true;
  current_direction = direction;
}

void end_formatted_statement() {
  format_current = false;
}

void open_unit(int unit, std::string_view name80, OpenStatus status) {
  current_unit = unit;
  Unit &u = units[unit];
  if (u.connected) close_unit(unit);
  std::string_view trimmed = name80.substr(0, kTextWidth);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  {
    platform::SignalHold hold;
    copy_name(u, trimmed);
  }
  if (trimmed.empty()) report(kNullFileName, "open");
  // A name with a NUL byte would silently open a shorter name.
  if (trimmed.find('\0') != std::string_view::npos) report_system_error(EINVAL, "open");
  FileKind kind = FileKind::missing;
  if (status == OpenStatus::old_file) {
    const int missing = system().examine(u.name, kind);
    if (missing != 0) report_system_error(missing, "open");
  }
  // No hold here: opening a FIFO waits for its writer, and an interrupt
  // must still end the run meanwhile.
  int fd = -1;
  bool may_read = false;
  bool may_write = false;
  const int error = open_attempts(u.name, status, kind, fd, may_read, may_write);
  if (error != 0) report_system_error(error, "open");
  platform::SignalHold hold;
  u.connected = true;
  u.fd = fd;
  u.may_read = may_read;
  u.may_write = may_write;
  u.last_write = !may_read; // the creating attempt starts out writing
  u.write_failed = false;
  u.end_of_file = false;
  u.flush_each_line = false;
  u.repositionable = !system().is_character_device(fd);
  file_input.attach(fd, file_storage, sizeof file_storage);
  u.input = &file_input;
  file_output.data = file_storage;
  file_output.capacity = sizeof file_storage;
  file_output.restart(0);
  u.output = &file_output;
}

void close_unit(int unit) {
  Unit &u = units[unit];
  if (!u.connected) {
    u.end_of_file = false;
    u.named = false;
    return;
  }
  if (u.last_write) {
    const bool failed_before = u.write_failed;
    flush_unit(unit);
    platform::SignalHold hold;
    if (u.named && u.repositionable && !cut_back_to_position(u) && !failed_before &&
        !closing_from_handler) {
      // The closing that follows the report must not try again.
      u.last_write = false;
      report(kTruncationFailed, "endfile");
    }
  }
  platform::SignalHold hold;
  if (u.named) {
    static_cast<void>(system().close(u.fd));
    u.fd = -1;
    u.named = false;
    u.name_length = 0;
  }
  u.connected = false;
  u.end_of_file = false;
}

bool end_of_file_mark(int unit) {
  return units[unit].end_of_file;
}

RecordView read_record(int unit) {
  Unit &u = units[unit];
  RecordView record{};
  const int error = u.input->next_record(record);
  if (error != 0) report_system_error(error, "read");
  if (!record.line_feed) u.end_of_file = true;
  return record;
}

const char *buffered_input(int unit, std::size_t &size) {
  return units[unit].input->buffered(size);
}

void take_input(int unit, std::size_t bytes) {
  units[unit].input->take(bytes);
}

void read_text_record(int unit, char *text80) {
  Statement statement(unit, kTextFormat, Direction::reading);
  if (end_of_file_mark(unit)) report(kEndOfFile, "read start");
  if (read_text_field(read_record(unit), text80) == TextField::end_of_file) {
    report(kEndOfFile, "fmt");
  }
}

void prepare_write(int unit) {
  Unit &u = units[unit];
  if (!u.may_write) {
    // Reopen for reading and writing where the read-only stream stood.
    System &sys = system();
    std::int64_t position = -1;
    int fd = -1;
    if (sys.position(u.fd, position) != 0 || sys.open(u.name, OpenMode::read_write, fd) != 0) {
      report(kCannotWrite, "write start");
    }
    if (sys.seek(fd, position) != 0) {
      static_cast<void>(sys.close(fd));
      report(kCannotWrite, "write start");
    }
    platform::SignalHold hold;
    static_cast<void>(sys.close(u.fd));
    u.fd = fd;
    u.may_read = u.may_write = true;
    u.output->restart(position);
  }
  u.last_write = true;
}

std::size_t output_room(int unit) {
  const OutputBuffer &out = *units[unit].output;
  return out.capacity - out.committed.load(std::memory_order_relaxed);
}

char *reserve_output(int unit, std::size_t size) {
  OutputBuffer &out = *units[unit].output;
  if (out.committed.load(std::memory_order_relaxed) + size > out.capacity) flush_unit(unit);
  return out.data + out.committed.load(std::memory_order_relaxed);
}

void commit_output(int unit, std::size_t size) {
  OutputBuffer &out = *units[unit].output;
  // Release: a handler that sees the count sees the row's bytes too.
  out.committed.store(out.committed.load(std::memory_order_relaxed) + size,
                      std::memory_order_release);
}

void exit_time_closing() {
  // A handler may have stopped another closing half-way: it goes over every
  // unit again, and writes only what was never confirmed.
  if (!closing_from_handler) {
    platform::SignalHold hold;
    if (closing_done) return;
    closing_done = 1;
  }
  for (int unit = 0; unit < kUnitCount; ++unit) {
    if (units[unit].connected) close_unit(unit);
  }
}

void end_from_handler(bool abnormal) {
  // Set under the frame's lock: on Windows the run's thread, which goes on
  // meanwhile, never finds it set inside a write section.
  if (platform::enter_handler_closing()) {
    closing_from_handler = 1;
    exit_time_closing();
  }
  if (abnormal) system().abort();
  system().exit(1);
}

void reset_units() {
  for (Unit &u : units) {
    if (u.connected && u.named) static_cast<void>(system().close(u.fd));
    u = Unit{};
  }
  console_output.restart(0);
  file_output.restart(0);
  current_unit = -1;
  format_current = false;
  current_direction = Direction::writing;
  closing_done = 0;
  closing_from_handler = 0;
  reset_report();
}

} // namespace cdmg

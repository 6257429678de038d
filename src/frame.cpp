#include "frame.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "output_buffer.h"
#include "process.h"
#include "text_input.h"

namespace cdmg {

namespace {

struct Unit {
  TextInput *input = nullptr;
  OutputBuffer *output = nullptr;
  std::size_t name_length = 0;
  int fd = -1;
  char name[kTextWidth + 1] = {};
  bool connected = false;
  bool named = false;
  bool positionable = false; // told by the opening
  bool may_write = false;
  bool end_of_file = false;
  bool last_write = false;
  bool flush_each_line = false;
  std::size_t stream_chunk = 0; // the most one write takes where it cannot be positioned
};

// The units a run uses, each a slot of its own; -1 for any other number.
constexpr int kSlots = 4;
constexpr std::array<std::int8_t, 100> make_slots() {
  std::array<std::int8_t, 100> slots{};
  slots.fill(-1);
  slots[kErrorUnit] = 0;
  slots[kInputUnit] = 1;
  slots[kOutputUnit] = 2;
  slots[kFileUnit] = 3;
  return slots;
}
constexpr std::array<std::int8_t, 100> kSlotOf = make_slots();

// The opening attempts of a name in turn: the mode of the first that
// succeeds, or the error of the last. A FIFO that is only read is opened for
// reading only: a reader that also writes would never see the end of its data.
int open_attempts(System &sys, const char *name, OpenStatus status, FileKind kind, OpenedFile &file,
                  OpenMode &mode) {
  const bool only_read = status == OpenStatus::old_file && kind == FileKind::fifo;
  int error = 0;
  for (const OpenMode attempt :
       {OpenMode::read_write, OpenMode::read_only, OpenMode::create_write_only}) {
    if ((attempt == OpenMode::read_write && only_read) ||
        (attempt == OpenMode::create_write_only && status != OpenStatus::unknown)) {
      continue;
    }
    mode = attempt;
    error = sys.open(name, attempt, file);
    if (error == 0) break;
  }
  return error;
}

} // namespace

struct Frame::Units {
  Unit slot[kSlots];
  Unit &unit(int number) { return slot[kSlotOf[static_cast<std::size_t>(number)]]; }
  // Unit 11 reads a component file or writes the table, never both at
  // once, so its reading and writing share one buffer. 64 KiB reads a
  // full-capacity component (about 335 KB) in six calls and writes the
  // table (1.4 MB) in 22; larger buffers save few calls and cost pages.
  char file_storage[1 << 16];
  // Console input is one line; the whole transcript before the prompt
  // (under 1 KB with its echoed headers) goes out in one write.
  char console_in_storage[1 << 12];
  char console_out_storage[1 << 13];
  TextInput file_input;
  TextInput console_input;
  OutputBuffer file_output;
  OutputBuffer console_output;
  int error_fd = 2;
  // A normal or failing closing has begun.
  volatile std::sig_atomic_t closing_begun = 0;
};

Frame::Frame(System &system, int error_fd, int input_fd, int output_fd)
    // `new Units`, not `new Units()`: the buffers are left unzeroed, since
    // every byte is written before it is read, and pages never touched
    // cost nothing.
    : system_(system), units_(new Units) {
  Units &s = *units_;
  s.error_fd = error_fd;

  // A standard stream is never repositioned: the console is written as a
  // stream is, and standard error goes out a line at a time.
  const auto connect = [&](int unit, int fd, bool writes) -> Unit & {
    Unit &u = s.unit(unit);
    u.connected = true;
    u.fd = fd;
    u.may_write = u.last_write = writes;
    u.stream_chunk = system.atomic_write_bytes();
    return u;
  };
  connect(kErrorUnit, error_fd, true);
  connect(kInputUnit, input_fd, false).input = &s.console_input;
  s.console_input.attach(system, input_fd, s.console_in_storage, sizeof s.console_in_storage);
  Unit &out = connect(kOutputUnit, output_fd, true);
  out.flush_each_line = system.is_terminal(output_fd);
  out.output = &s.console_output;
  s.console_output.attach(s.console_out_storage, sizeof s.console_out_storage, 0);
}

Frame::~Frame() {
  delete units_; // a file still open is the process's end to close
}

namespace {

// A unit's committed bytes written; 0 or the system error. Console writes
// are not examined.
int flush(System &sys, Unit &u) {
  if (!u.output) return 0;
  const int error = u.output->flush(sys, u.fd, u.positionable ? 0 : u.stream_chunk);
  return u.named ? error : 0;
}

// Cuts a written file back to its current position, where it was longer;
// false when that fails. A position or size that cannot be taken fails it
// too: an older, longer file would otherwise keep its tail unnoticed.
bool cut_back_to_position(System &sys, const Unit &u) {
  std::int64_t position = -1;
  std::int64_t size = -1;
  if (sys.position(u.fd, position) != 0 || sys.size(u.fd, size) != 0) return false;
  return position >= size || sys.cut_back(u.fd, position) == 0;
}

// Closes a unit; with `examined` false every failure is passed over and the
// unit is freed all the same.
Failure close_unit(System &sys, Unit &u, bool examined, bool from_handler) {
  if (!u.connected) {
    u.end_of_file = false;
    u.named = false;
    return {};
  }
  if (u.last_write) {
    if (from_handler) {
      // A handler may rewrite the bytes of a write it cut short only where
      // they have offsets of their own: a named file.
      if (u.output)
        u.output->flush_from_handler(sys, u.fd, u.named && u.positionable, u.stream_chunk);
    } else if (const int error = flush(sys, u); error != 0 && examined) {
      return Failure::system(error, "write");
    }
    SignalHold hold(sys);
    u.last_write = false; // the writing is over: no later closing cuts back again
    if (u.named && u.positionable && !cut_back_to_position(sys, u) && examined) {
      return Failure::run_time(kTruncationFailed, "endfile");
    }
  }
  SignalHold hold(sys);
  if (u.named) {
    static_cast<void>(sys.close(u.fd));
    u.fd = -1;
    u.named = false;
    u.name_length = 0;
  }
  u.connected = false;
  u.end_of_file = false;
  return {};
}

} // namespace

Failure Frame::open(int unit, const char *name, std::size_t length, OpenStatus status) {
  Units &s = *units_;
  if (unit < 0 || unit >= 100 || kSlotOf[static_cast<std::size_t>(unit)] < 0) {
    return Failure::run_time(kIllegalUnitNumber, "open");
  }
  Unit &u = s.unit(unit);
  if (u.connected) {
    if (const Failure failure = close(unit)) return failure;
  }
  if (length > kTextWidth) length = kTextWidth;
  while (length > 0 && name[length - 1] == ' ') --length;
  {
    SignalHold hold(system_);
    std::memcpy(u.name, name, length);
    u.name[length] = '\0';
    u.name_length = length;
    u.named = true;
  }
  if (length == 0) return Failure::run_time(kNullFileName, "open");
  // A name with a NUL byte would silently open a shorter name.
  if (std::memchr(name, '\0', length)) return Failure::system(EINVAL, "open");
  FileKind kind = FileKind::missing;
  if (status == OpenStatus::old_file) {
    if (const int missing = system_.examine(u.name, kind)) return Failure::system(missing, "open");
  }
  // No hold here: opening a FIFO waits for its writer, and an interrupt
  // must still end the run meanwhile.
  OpenedFile file;
  OpenMode mode = OpenMode::read_write;
  if (const int error = open_attempts(system_, u.name, status, kind, file, mode)) {
    return Failure::system(error, "open");
  }
  const int fd = file.fd;
  SignalHold hold(system_);
  u.connected = true;
  u.fd = fd;
  u.may_write = mode != OpenMode::read_only;
  u.last_write = mode == OpenMode::create_write_only; // a created file starts out written
  u.end_of_file = false;
  u.flush_each_line = false;
  u.positionable = file.positionable;
  u.stream_chunk = system_.atomic_write_bytes();
  s.file_input.attach(system_, fd, s.file_storage, sizeof s.file_storage);
  u.input = &s.file_input;
  s.file_output.attach(s.file_storage, sizeof s.file_storage, 0);
  u.output = &s.file_output;
  return {};
}

Failure Frame::close(int unit) {
  return close_unit(system_, units_->unit(unit), true, false);
}

const char *Frame::file_name(int unit) const {
  const Unit &u = units_->unit(unit);
  return u.named ? u.name : nullptr;
}

Failure Frame::read_record(int unit, RecordView &record) {
  Unit &u = units_->unit(unit);
  if (const int error = u.input->next_record(record)) return Failure::system(error, "read");
  if (!record.line_feed) u.end_of_file = true;
  return {};
}

bool Frame::end_of_file(int unit) const {
  return units_->unit(unit).end_of_file;
}

std::size_t Frame::take_records(int unit, std::size_t most, RecordTaker take, void *context) {
  TextInput &input = *units_->unit(unit).input;
  std::size_t k = 0;
  RecordView record{};
  for (std::size_t bytes = 0; k < most && input.buffered_record(record, bytes); ++k) {
    if (!take(record, k, context)) break;
    input.take(bytes);
  }
  return k;
}

Failure Frame::prepare_write(int unit, std::size_t record_bytes) {
  Unit &u = units_->unit(unit);
  const std::size_t atomic = system_.atomic_write_bytes();
  u.stream_chunk = atomic < record_bytes ? record_bytes : atomic / record_bytes * record_bytes;
  if (!u.may_write) {
    // Reopen for reading and writing where the read-only stream stood.
    constexpr Failure cannot_write = Failure::run_time(kCannotWrite, "write start");
    std::int64_t position = -1;
    OpenedFile file;
    if (system_.position(u.fd, position) != 0 ||
        system_.open(u.name, OpenMode::read_write, file) != 0) {
      return cannot_write;
    }
    if (system_.seek(file.fd, position) != 0) {
      static_cast<void>(system_.close(file.fd));
      return cannot_write;
    }
    SignalHold hold(system_);
    static_cast<void>(system_.close(u.fd));
    u.fd = file.fd;
    u.may_write = true;
    u.output->attach(units_->file_storage, sizeof units_->file_storage, position);
  }
  u.last_write = true;
  return {};
}

std::size_t Frame::output_room(int unit) const {
  return units_->unit(unit).output->room();
}

Failure Frame::reserve_output(int unit, std::size_t size, char *&place) {
  Unit &u = units_->unit(unit);
  if (u.output->room() < size) {
    if (const int error = flush(system_, u)) return Failure::system(error, "write");
  }
  place = u.output->place();
  return {};
}

void Frame::commit_output(int unit, std::size_t size) {
  units_->unit(unit).output->commit(size);
}

void Frame::write_console(const char *text, std::size_t length) {
  Unit &u = units_->unit(kOutputUnit);
  u.output->append(system_, u.fd, {text, length});
  if (u.flush_each_line) flush_console();
}

void Frame::flush_console() {
  static_cast<void>(flush(system_, units_->unit(kOutputUnit)));
}

void Frame::write_error(const char *text, std::size_t length, bool now) {
  static_cast<void>(write_all(system_, units_->error_fd, text, length, -1, now));
}

void Frame::close_all(ClosingCause cause) {
  Units &s = *units_;
  const bool from_handler = cause == ClosingCause::from_handler;
  if (from_handler) {
    // On Windows the run's thread goes on meanwhile: the handler closes
    // only once it holds the frame's lock.
    if (!process::enter_handler_closing()) return;
  } else {
    SignalHold hold(system_);
    if (s.closing_begun) return;
    s.closing_begun = 1;
  }
  for (Unit &u : s.slot) {
    if (u.connected) static_cast<void>(close_unit(system_, u, false, from_handler));
  }
}

} // namespace cdmg

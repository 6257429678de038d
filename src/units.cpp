#include "units.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform.h"
#include "text_input.h"

namespace cdmg {

namespace {

constexpr int kUnitCount = 100;

struct OutputBuffer {
  char *data = nullptr;
  std::size_t capacity = 0;
  // Bytes of complete statements; a signal handler flushes only these.
  std::atomic<std::size_t> committed{0};
};

struct Unit {
  TextInput *input = nullptr;
  OutputBuffer *output = nullptr;
  std::size_t name_length = 0;
  int fd = -1;
  char name[kTextWidth + 1] = {};
  bool connected = false;
  bool named = false;
  bool repositionable = false;
  bool may_read = false;
  bool may_write = false;
  bool end_of_file = false;
  bool last_write = false;
  bool write_failed = false;
  bool flush_each_line = false;
};

Unit units[kUnitCount];

// Unit 11 reads a component file or writes the table, never both at once,
// so its reading and writing share one buffer.
char file_storage[1 << 16];
char console_in_storage[1 << 12];
char console_out_storage[1 << 13];
TextInput file_input;
TextInput console_input;
OutputBuffer file_output;
OutputBuffer console_output;

// Report state.
int current_unit = -1;
bool format_current = false;
Format current_format{nullptr, 0};
Direction current_direction = Direction::writing;

int error_stream_fd = 2;
AbnormalEndHook abnormal_end_hook = nullptr;

volatile std::sig_atomic_t report_begun = 0;
volatile std::sig_atomic_t closing_done = 0;

// Appends text to a fixed buffer; the report cannot allocate.
class Message {
public:
  Message &operator<<(std::string_view text) {
    const std::size_t room = sizeof text_ - length_;
    const std::size_t n = text.size() < room ? text.size() : room;
    std::memcpy(text_ + length_, text.data(), n);
    length_ += n;
    return *this;
  }
  Message &operator<<(long long value) {
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
      *--p = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return *this << std::string_view(p, static_cast<std::size_t>(end - p));
  }
  void send() const { write_error_stream(text_, length_); }

private:
  char text_[512] = {};
  std::size_t length_ = 0;
};

constexpr const char *kMessages[] = {
    "error in format",                        // 100
    "illegal unit number",                    // 101
    "formatted io not allowed",               // 102
    "unformatted io not allowed",             // 103
    "direct io not allowed",                  // 104
    "sequential io not allowed",              // 105
    "can't backspace file",                   // 106
    "null file name",                         // 107
    "can't stat file",                        // 108
    "unit not connected",                     // 109
    "off end of record",                      // 110
    "truncation failed in endfile",           // 111
    "incomprehensible list input",            // 112
    "out of free space",                      // 113
    "unit not connected",                     // 114
    "read unexpected character",              // 115
    "bad logical input field",                // 116
    "bad variable type",                      // 117
    "bad namelist name",                      // 118
    "variable not in namelist",               // 119
    "no end record",                          // 120
    "variable count incorrect",               // 121
    "subscript for scalar variable",          // 122
    "invalid array section",                  // 123
    "substring out of bounds",                // 124
    "subscript out of bounds",                // 125
    "can't read file",                        // 126
    "can't write file",                       // 127
    "'new' file exists",                      // 128
    "can't append to file",                   // 129
    "non-positive record number",             // 130
    "I/O started while already doing I/O",    // 131
    "Temporary file name (TMPDIR?) too long", // 132
};
constexpr int kFirstMessage = 100;
constexpr int kLastMessage = 132;

[[noreturn]] void finish_report(const Message &first_line) {
  first_line.send();
  if (report_begun) {
    static constexpr char kNotice[] = "failure report already under way; aborting";
    write_error_stream(kNotice, sizeof kNotice - 1);
    platform::abort_process();
  }
  report_begun = 1;
  Message state;
  if (current_unit < 0) {
    state << "apparent state: internal I/O\n";
  } else {
    const Unit &u = units[current_unit];
    state << "apparent state: unit " << static_cast<long long>(current_unit) << " ";
    if (u.named)
      state << "named " << std::string_view(u.name, u.name_length) << "\n";
    else
      state << "(unnamed)\n";
  }
  if (format_current) {
    state << "last format: " << std::string_view(current_format.text, current_format.length)
          << "\n";
  }
  state << "lately " << (current_direction == Direction::reading ? "reading" : "writing")
        << " sequential formatted external"
        << " IO\n";
  state.send();
  abnormal_end();
}

// Writes the committed bytes of a unit's buffer; returns 0 or the system error.
int flush_output(Unit &u) {
  if (!u.output || u.write_failed) return 0;
  platform::SignalHold hold;
  const std::size_t size = u.output->committed.load(std::memory_order_relaxed);
  const int error = platform::write_all(u.fd, u.output->data, size);
  u.output->committed.store(0, std::memory_order_relaxed);
  return error;
}

// Flushes a file unit; a failure ends the run with the report, and the
// failed bytes are never offered again.
void flush_file_output(int unit) {
  Unit &u = units[unit];
  const int error = flush_output(u);
  if (error != 0) {
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

} // namespace

void write_error_stream(const char *text, std::size_t length) {
  platform::write_all(error_stream_fd, text, length);
}

void connect_standard_units(int error_fd, int input_fd, int output_fd) {
  error_stream_fd = error_fd;
  Unit &err = units[kErrorUnit];
  err = Unit{};
  err.connected = true;
  err.fd = error_fd;
  err.may_write = true;
  err.last_write = true;
  err.repositionable = !platform::is_character_device(error_fd);

  Unit &in = units[kInputUnit];
  in = Unit{};
  in.connected = true;
  in.fd = input_fd;
  in.may_read = true;
  in.repositionable = !platform::is_character_device(input_fd);
  console_input.attach(input_fd, console_in_storage, sizeof console_in_storage);
  in.input = &console_input;

  Unit &out = units[kOutputUnit];
  out = Unit{};
  out.connected = true;
  out.fd = output_fd;
  out.may_write = true;
  out.last_write = true;
  out.repositionable = !platform::is_character_device(output_fd);
  out.flush_each_line = platform::is_terminal(output_fd);
  console_output.data = console_out_storage;
  console_output.capacity = sizeof console_out_storage;
  out.output = &console_output;
}

void begin_statement(int unit, Format format, Direction direction) {
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
  if (status == OpenStatus::old_file) {
    const int missing = platform::test_exists(u.name);
    if (missing != 0) report_system_error(missing, "open");
  }
  platform::SignalHold hold;
  bool may_read = true;
  bool may_write = true;
  int fd = platform::open_read_write(u.name);
  if (fd < 0) {
    fd = platform::open_read_only(u.name);
    may_write = false;
  }
  if (fd < 0 && status == OpenStatus::unknown) {
    fd = platform::create_write_only(u.name);
    may_read = false;
    may_write = true;
  }
  if (fd < 0) report_system_error(errno, "open");
  u.connected = true;
  u.fd = fd;
  u.may_read = may_read;
  u.may_write = may_write;
  u.last_write = !may_read; // the creating attempt starts out writing
  u.write_failed = false;
  u.end_of_file = false;
  u.flush_each_line = false;
  u.repositionable = !platform::is_character_device(fd);
  file_input.attach(fd, file_storage, sizeof file_storage);
  u.input = &file_input;
  file_output.data = file_storage;
  file_output.capacity = sizeof file_storage;
  file_output.committed.store(0, std::memory_order_relaxed);
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
    if (u.named)
      flush_file_output(unit);
    else
      flush_output(u); // console writes are not examined
    platform::SignalHold hold;
    if (u.named && u.repositionable) {
      const std::int64_t position = platform::current_position(u.fd);
      const std::int64_t size = platform::file_size(u.fd);
      if (position >= 0 && position < size && platform::cut_back(u.fd, position) != 0 &&
          !failed_before) {
        // The closing that follows the report must not try again.
        u.last_write = false;
        report(kTruncationFailed, "endfile");
      }
    }
  }
  platform::SignalHold hold;
  if (u.named) {
    platform::close_file(u.fd);
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

void prepare_write(int unit) {
  Unit &u = units[unit];
  if (!u.may_write) {
    // Reopen for reading and writing where the read-only stream stood.
    platform::SignalHold hold;
    const std::int64_t position = platform::current_position(u.fd);
    const int fd = platform::open_read_write(u.name);
    if (fd < 0) report(kCannotWrite, "write start");
    if (position < 0 || !platform::seek_to(fd, position)) {
      platform::close_file(fd);
      report(kCannotWrite, "write start");
    }
    platform::close_file(u.fd);
    u.fd = fd;
    u.may_read = u.may_write = true;
  }
  u.last_write = true;
}

char *reserve_output(int unit, std::size_t size) {
  OutputBuffer &out = *units[unit].output;
  if (out.committed.load(std::memory_order_relaxed) + size > out.capacity) flush_file_output(unit);
  return out.data + out.committed.load(std::memory_order_relaxed);
}

void commit_output(int unit, std::size_t size) {
  OutputBuffer &out = *units[unit].output;
  out.committed.store(out.committed.load(std::memory_order_relaxed) + size,
                      std::memory_order_relaxed);
}

void ConsoleLine::end() {
  line_.end();
  begin_statement(kOutputUnit, kListIo, Direction::writing);
  Unit &u = units[kOutputUnit];
  OutputBuffer &out = *u.output;
  std::string_view rest = text_;
  while (!rest.empty()) {
    std::size_t used = out.committed.load(std::memory_order_relaxed);
    if (used == out.capacity) {
      flush_output(u);
      used = 0;
    }
    const std::size_t n = rest.size() < out.capacity - used ? rest.size() : out.capacity - used;
    std::memcpy(out.data + used, rest.data(), n);
    out.committed.store(used + n, std::memory_order_relaxed);
    rest.remove_prefix(n);
  }
  if (u.flush_each_line) flush_output(u);
}

void flush_console() {
  flush_output(units[kOutputUnit]);
}

void report(int error, const char *context) {
  platform::SignalHold hold;
  Message first;
  if (error == kEndOfFile) {
    first << context << ": end of file\n";
  } else if (error >= kFirstMessage && error <= kLastMessage) {
    first << context << ": " << kMessages[error - kFirstMessage] << "\n";
  } else {
    first << context << ": illegal error number " << static_cast<long long>(error) << "\n";
  }
  finish_report(first);
}

void report_system_error(int error, const char *context) {
  platform::SignalHold hold;
  Message first;
  first << context << ": " << platform::error_text(error) << "\n";
  finish_report(first);
}

void exit_time_closing() {
  platform::SignalHold hold;
  if (closing_done) return;
  closing_done = 1;
  for (int unit = 0; unit < kUnitCount; ++unit) {
    if (units[unit].connected) close_unit(unit);
  }
}

void abnormal_end() {
  exit_time_closing();
  if (abnormal_end_hook) abnormal_end_hook();
  platform::abort_process();
}

void set_abnormal_end_hook(AbnormalEndHook hook) {
  abnormal_end_hook = hook;
}

void reset_units() {
  for (Unit &u : units) {
    if (u.connected && u.named) platform::close_file(u.fd);
    u = Unit{};
  }
  console_output.committed.store(0, std::memory_order_relaxed);
  file_output.committed.store(0, std::memory_order_relaxed);
  current_unit = -1;
  format_current = false;
  current_direction = Direction::writing;
  report_begun = 0;
  closing_done = 0;
}

} // namespace cdmg

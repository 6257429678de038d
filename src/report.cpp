// The run-time failure report and the abnormal end that follows it.
#include <cstring>

#include "frame_state.h"
#include "platform.h"
#include "system.h"

namespace cdmg {

using namespace frame;

namespace {

volatile std::sig_atomic_t report_begun = 0;

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
    system().abort();
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

} // namespace

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
  first << context << ": " << system().error_text(error) << "\n";
  finish_report(first);
}

void abnormal_end() {
  exit_time_closing();
  system().abort();
}

void frame::reset_report() {
  report_begun = 0;
}

} // namespace cdmg

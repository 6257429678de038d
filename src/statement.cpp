// The statement layer: the frame's operations checked, and the run-time
// failure report with the abnormal end that follows it.
#include "statement.h"

#include <charconv>
#include <cstring>

#include "fields.h"

namespace cdmg {

namespace {

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
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }
  std::string_view text() const { return {text_, length_}; }

private:
  char text_[512] = {};
  std::size_t length_ = 0;
};

} // namespace

void Io::open(int unit, std::string_view name80, OpenStatus status) {
  current_unit_ = unit;
  check(frame_.open(unit, name80.data(), name80.size(), status));
}

RecordView Io::read_record(int unit) {
  RecordView record{};
  check(frame_.read_record(unit, record));
  return record;
}

std::size_t Io::read_full_records(int unit, float *values, std::size_t most) {
  return frame_.take_records(
      unit, most,
      [](const RecordView &record, std::size_t k, void *to) {
        return record.length == kTextWidth &&
               read_full_record_fields(record.chars, static_cast<float *>(to) + 8 * k);
      },
      values);
}

char *Io::reserve_output(int unit, std::size_t size) {
  char *place = nullptr;
  check(frame_.reserve_output(unit, size, place));
  return place;
}

void Io::console(std::string_view text) {
  Statement statement(*this, kOutputUnit, kListIo, Direction::writing);
  frame_.write_console(text.data(), text.size());
}

void Io::read_text_record(int unit, char *text80) {
  Statement statement(*this, unit, kTextFormat, Direction::reading);
  if (frame_.end_of_file(unit)) report(kEndOfFile, "read start");
  if (read_text_field(read_record(unit), text80) == TextField::end_of_file) {
    report(kEndOfFile, "fmt");
  }
}

void Io::report(const Failure &failure) {
  // No handler runs from here on: the report ends the run.
  System &sys = frame_.system();
  SignalHold hold(sys);
  Message first;
  first << failure.context() << ": ";
  if (failure.is_system_error()) {
    first << sys.error_text(failure.error());
  } else if (failure.error() == kEndOfFile) {
    first << "end of file";
  } else if (const char *message = run_time_message(failure.error())) {
    first << message;
  } else {
    first << "illegal error number " << static_cast<long long>(failure.error());
  }
  first << "\n";
  frame_.write_error(first.text().data(), first.text().size());
  if (report_begun_) {
    static constexpr char kNotice[] = "failure report already under way; aborting";
    frame_.write_error(kNotice, sizeof kNotice - 1);
    sys.abort_without_core();
  }
  report_begun_ = true;
  Message state;
  if (current_unit_ < 0) {
    state << "apparent state: internal I/O\n";
  } else {
    const char *name = frame_.file_name(current_unit_);
    state << "apparent state: unit " << static_cast<long long>(current_unit_)
          << (name ? " named " : " (unnamed)") << (name ? name : "") << "\n";
  }
  if (format_current_) {
    state << "last format: " << std::string_view(current_format_.text, current_format_.length)
          << "\n";
  }
  state << "lately " << (direction_ == Direction::reading ? "reading" : "writing")
        << " sequential formatted external"
        << " IO\n";
  frame_.write_error(state.text().data(), state.text().size());
  frame_.close_all(ClosingCause::after_failure);
  sys.abort_without_core();
}

} // namespace cdmg

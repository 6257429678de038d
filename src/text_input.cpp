#include "text_input.h"

#include <cerrno>
#include <cstring>

#include "platform.h"

namespace cdmg {

namespace {
constexpr char kEndOfFileByte = 26;
}

void TextInput::attach(int fd, char *storage, std::size_t capacity) {
  fd_ = fd;
  storage_ = storage;
  capacity_ = capacity;
  begin_ = end_ = 0;
  ended_ = false;
}

bool TextInput::refill(int &error) {
  begin_ = end_ = 0;
  const std::ptrdiff_t n = platform::read_some(fd_, storage_, capacity_);
  if (n < 0) {
    error = errno;
    return false;
  }
  if (n == 0) ended_ = true;
  end_ = static_cast<std::size_t>(n);
  return true;
}

int TextInput::next_record(RecordView &record) {
  // Keep one character more than a field list can take, so that a carriage
  // return in column 81 can still be dropped before its line feed.
  std::size_t kept = 0;
  std::size_t raw_length = 0;
  char last = 0;
  record.line_feed = false;
  for (;;) {
    if (begin_ == end_) {
      if (ended_) break;
      int error = 0;
      if (!refill(error)) return error;
      continue;
    }
    const char *start = storage_ + begin_;
    const std::size_t available = end_ - begin_;
    const char *stop = static_cast<const char *>(std::memchr(start, '\n', available));
    const std::size_t scan = stop ? static_cast<std::size_t>(stop - start) : available;
    const char *eof_byte = static_cast<const char *>(std::memchr(start, kEndOfFileByte, scan));
    const std::size_t taken = eof_byte ? static_cast<std::size_t>(eof_byte - start) : scan;
    const std::size_t room = sizeof scratch_ - kept;
    const std::size_t copied = taken < room ? taken : room;
    std::memcpy(scratch_ + kept, start, copied);
    kept += copied;
    raw_length += taken;
    if (taken > 0) last = start[taken - 1];
    begin_ += taken;
    if (eof_byte) {
      ended_ = true;
      begin_ = end_;
      break;
    }
    if (stop) {
      ++begin_;
      record.line_feed = true;
      if (last == '\r') --raw_length;
      break;
    }
  }
  record.chars = scratch_;
  record.length = raw_length < kTextWidth ? raw_length : kTextWidth;
  return 0;
}

} // namespace cdmg

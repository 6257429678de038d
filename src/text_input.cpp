#include "text_input.h"

#include <cerrno>
#include <cstring>

namespace cdmg {

namespace {
constexpr char kEndOfFileByte = 26;
}

void TextInput::attach(System &system, int fd, char *storage, std::size_t capacity) {
  system_ = &system;
  fd_ = fd;
  storage_ = storage;
  capacity_ = capacity;
  begin_ = end_ = 0;
  ended_ = false;
}

bool TextInput::refill(int &error) {
  begin_ = end_ = 0;
  std::size_t n = 0;
  do {
    error = system_->read(fd_, storage_, capacity_, n);
  } while (error == EINTR);
  if (error != 0) return false;
  if (n == 0) ended_ = true;
  end_ = n;
  // The byte 26 ends the file: nothing after it is ever read.
  if (const void *eof_byte = std::memchr(storage_, kEndOfFileByte, end_)) {
    end_ = static_cast<std::size_t>(static_cast<const char *>(eof_byte) - storage_);
    ended_ = true;
  }
  return true;
}

int TextInput::next_record(RecordView &record) {
  // Most records lie whole in the buffer and are seen where they stand.
  if (std::size_t bytes = 0; buffered_record(record, bytes)) {
    take(bytes);
    return 0;
  }
  record.line_feed = false;
  // A record across refills keeps its first 80 characters in the scratch
  // area; the carriage return before a line feed may be the 81st.
  std::size_t kept = 0;
  std::size_t raw_length = 0;
  char last = 0;
  for (;;) {
    if (begin_ == end_) {
      if (ended_) break;
      int error = 0;
      if (!refill(error)) return error;
      continue;
    }
    const char *start = storage_ + begin_;
    const std::size_t available = end_ - begin_;
    const auto *stop = static_cast<const char *>(std::memchr(start, '\n', available));
    const std::size_t taken = stop ? static_cast<std::size_t>(stop - start) : available;
    const std::size_t room = kTextWidth - kept;
    const std::size_t copied = taken < room ? taken : room;
    std::memcpy(scratch_ + kept, start, copied);
    kept += copied;
    raw_length += taken;
    if (taken > 0) last = start[taken - 1];
    begin_ += taken;
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

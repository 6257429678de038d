// Records of a text stream read through a buffer of our own: a line feed
// ends a record, a carriage return just before it is dropped, and the byte
// 26 ends the file.
#pragma once

#include <cstddef>

#include "fields.h"

namespace cdmg {

class TextInput {
public:
  TextInput() = default;
  void attach(int fd, char *storage, std::size_t capacity);

  // Reads the next record; its first 80 characters stay valid until the
  // next call. Returns 0, or the system error of a failed read.
  int next_record(RecordView &record);

  // The next record when it has exactly 80 characters before its line end
  // and lies whole in the buffer: its characters, and in `bytes` what
  // taking it consumes. Nothing is taken, and nothing checks that the 80
  // characters hold no line feed: the caller's field rules reject one.
  const char *peek_full_width_record(std::size_t &bytes) const {
    const std::size_t available = end_ - begin_;
    if (available <= kTextWidth) return nullptr;
    const char *start = storage_ + begin_;
    if (start[kTextWidth] == '\n') {
      bytes = kTextWidth + 1;
      return start;
    }
    if (available > kTextWidth + 1 && start[kTextWidth] == '\r' && start[kTextWidth + 1] == '\n') {
      bytes = kTextWidth + 2;
      return start;
    }
    return nullptr;
  }
  void take(std::size_t bytes) { begin_ += bytes; }

private:
  bool refill(int &error);

  int fd_ = -1;
  char *storage_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false; // the stream has no more bytes for us
  char scratch_[kTextWidth] = {};
};

} // namespace cdmg

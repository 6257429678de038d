// Records of a text stream read through a buffer of our own: a line feed
// ends a record, a carriage return just before it is dropped, and the byte
// 26 ends the file.
#pragma once

#include <cstddef>
#include <cstring>

#include "shared_types.h"
#include "system.h"

namespace cdmg {

class TextInput {
public:
  TextInput() = default;
  void attach(System &system, int fd, char *storage, std::size_t capacity);

  // Reads the next record; its first 80 characters stay valid until the
  // next call. Returns 0, or the system error of a failed read.
  int next_record(RecordView &record);

  // The next record when it lies whole in the buffer, seen where it stands
  // and not yet taken: its view, and in `bytes` what it takes with its line
  // feed. next_record reads the same record.
  bool buffered_record(RecordView &record, std::size_t &bytes) const {
    if (begin_ == end_) return false;
    const char *start = storage_ + begin_;
    const auto *stop = static_cast<const char *>(std::memchr(start, '\n', end_ - begin_));
    if (!stop) return false;
    std::size_t length = static_cast<std::size_t>(stop - start);
    bytes = length + 1;
    if (length > 0 && start[length - 1] == '\r') --length;
    record = {start, length < kTextWidth ? length : kTextWidth, true};
    return true;
  }
  void take(std::size_t bytes) { begin_ += bytes; }

private:
  bool refill(int &error);

  System *system_ = nullptr;
  int fd_ = -1;
  char *storage_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false; // the stream has no more bytes for us
  char scratch_[kTextWidth] = {};
};

} // namespace cdmg

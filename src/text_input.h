// Records of a text stream read through a buffer of our own: a line feed
// ends a record, a carriage return just before it is dropped, and the byte
// 26 ends the file.
#pragma once

#include <cstddef>

#include "shared_types.h"
#include "system.h"

namespace cdmg {

// The length, line end included, of a record of exactly 80 characters
// that starts `text` and lies whole in its `size` bytes; 0 for any other.
// Nothing checks that the 80 characters hold no line feed: the caller's
// field rules reject one.
inline std::size_t full_width_record_bytes(const char *text, std::size_t size) {
  if (size <= kTextWidth) return 0;
  if (text[kTextWidth] == '\n') return kTextWidth + 1;
  if (size > kTextWidth + 1 && text[kTextWidth] == '\r' && text[kTextWidth + 1] == '\n') {
    return kTextWidth + 2;
  }
  return 0;
}

class TextInput {
public:
  TextInput() = default;
  void attach(System &system, int fd, char *storage, std::size_t capacity);

  // Reads the next record; its first 80 characters stay valid until the
  // next call. Returns 0, or the system error of a failed read.
  int next_record(RecordView &record);

  // The bytes read but not yet taken, where they stand; taking them.
  const char *buffered(std::size_t &size) const {
    size = end_ - begin_;
    return storage_ + begin_;
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

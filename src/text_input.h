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

// Records of a text stream read through a buffer of our own: a line feed
// ends a record, a carriage return just before it is dropped, and the byte
// 26 ends the file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shared_types.h"
#include "system.h"

namespace cdmg {

// The first line feed in [at, end), or null.
inline const char *find_line_feed(const char *at, const char *end) {
#ifdef __EMSCRIPTEN__
  // The page's C library looks at four bytes a step; WebAssembly has
  // 64-bit integers. Trick, "a zero byte in a word" (Hacker's Delight 6-1):
  // (x - 0x01..) & ~x & 0x80.. marks the lowest zero byte of x exactly.
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  for (; end - at >= 8; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const std::uint64_t x = word ^ (kOnes * '\n');
    const std::uint64_t zero = (x - kOnes) & ~x & (kOnes << 7);
    if (zero != 0) return at + std::countr_zero(zero) / 8;
  }
#endif
  return static_cast<const char *>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
}

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
    const char *stop = find_line_feed(start, storage_ + end_);
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

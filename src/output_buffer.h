// A unit's output buffer. A statement's text counts once committed, so that
// a signal handler never writes half a row. While a write is under way
// `in_flight_end` marks where it ends: those bytes may have reached the
// stream already.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "system.h"

namespace cdmg {

// Writes everything, completing short writes and retrying interrupted ones:
// at `offset` when it is not negative, else where the stream stands. With
// `now` no write waits: the first one the stream refuses ends it.
int write_all(System &system, int fd, const char *data, std::size_t size, std::int64_t offset = -1,
              bool now = false);

class OutputBuffer {
public:
  // Empty, with data[0] at file offset `at`.
  void attach(char *storage, std::size_t capacity, std::int64_t at);

  std::size_t room() const { return capacity_ - committed_.load(std::memory_order_relaxed); }
  // Where the next statement's text goes.
  char *place() { return data_ + committed_.load(std::memory_order_relaxed); }
  // Release: a handler that sees the count sees the bytes too.
  void commit(std::size_t size) {
    committed_.store(committed_.load(std::memory_order_relaxed) + size, std::memory_order_release);
  }

  // Writes the committed bytes, in writes of at most `chunk` bytes (0: any
  // size), and starts again: bytes that failed are never offered again.
  // 0 or the system error.
  int flush(System &system, int fd, std::size_t chunk);
  // Places text, flushing whenever full, failures not examined (console).
  void append(System &system, int fd, std::string_view text);

  // A handler's flush: each committed byte the run has not confirmed, once.
  // `positioned`: the stream is a file whose in-flight bytes may be written
  // again at their own offsets. Otherwise nothing waits: after an
  // interrupted write nothing more is written (later bytes would leave a
  // gap), else what the stream takes at once, `chunk` bytes a write.
  void flush_from_handler(System &system, int fd, bool positioned, std::size_t chunk);

private:
  void restart(std::int64_t at);

  char *data_ = nullptr;
  std::size_t capacity_ = 0;
  std::atomic<std::size_t> committed_{0};
  std::atomic<std::size_t> written_{0};
  std::atomic<std::size_t> in_flight_end_{0};
  std::int64_t base_ = 0; // the file offset of data_[0]
};
// A handler reads the counts at any instruction of the run: they must never
// be a lock or a torn value.
static_assert(std::atomic<std::size_t>::is_always_lock_free);

} // namespace cdmg

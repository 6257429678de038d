#include "output_buffer.h"

#include <cerrno>
#include <cstring>

#include "process.h"

namespace cdmg {

int write_all(System &system, int fd, const char *data, std::size_t size, std::int64_t offset,
              bool now) {
  while (size > 0) {
    std::size_t done = 0;
    const int error = offset >= 0 ? system.write_at(fd, data, size, offset, done)
                      : now       ? system.write_now(fd, data, size, done)
                                  : system.write(fd, data, size, done);
    if (error == EINTR && !now) continue;
    if (error != 0) return error;
    if (done == 0) return now ? EAGAIN : EIO;
    data += done;
    size -= done;
    if (offset >= 0) offset += static_cast<std::int64_t>(done);
  }
  return 0;
}

void OutputBuffer::attach(char *storage, std::size_t capacity, std::int64_t at) {
  data_ = storage;
  capacity_ = capacity;
  restart(at);
}

// Needs no signal hold: in this order a handler that looks in between finds
// nothing to write (no byte committed, then none in flight, then none
// confirmed), and the new base is seen only with bytes committed after it.
void OutputBuffer::restart(std::int64_t at) {
  committed_.store(0, std::memory_order_release);
  in_flight_end_.store(0, std::memory_order_release);
  written_.store(0, std::memory_order_release);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  base_ = at;
}

int OutputBuffer::flush(System &system, int fd, std::size_t chunk) {
  // On Windows the handler's thread waits here until the write is over.
  process::WriteSection section;
  const std::size_t end = committed_.load(std::memory_order_acquire);
  std::size_t done = written_.load(std::memory_order_acquire);
  int error = 0;
  while (done < end && error == 0) {
    const std::size_t size = chunk != 0 && end - done > chunk ? chunk : end - done;
    in_flight_end_.store(done + size, std::memory_order_release);
    error = write_all(system, fd, data_ + done, size);
    if (error == 0) {
      done += size;
      written_.store(done, std::memory_order_release);
    }
  }
  restart(base_ + static_cast<std::int64_t>(done));
  return error;
}

void OutputBuffer::append(System &system, int fd, std::string_view text) {
  while (!text.empty()) {
    if (room() == 0) static_cast<void>(flush(system, fd, 0));
    const std::size_t n = text.size() < room() ? text.size() : room();
    std::memcpy(place(), text.data(), n);
    commit(n);
    text.remove_prefix(n);
  }
}

void OutputBuffer::flush_from_handler(System &system, int fd, bool positioned, std::size_t chunk) {
  const std::size_t committed = committed_.load(std::memory_order_acquire);
  std::size_t from = written_.load(std::memory_order_acquire);
  const std::size_t in_flight_end = in_flight_end_.load(std::memory_order_acquire);
  if (in_flight_end > from) {
    if (!positioned) return;
    // Writing them again where they belong changes nothing that got there.
    static_cast<void>(write_all(system, fd, data_ + from, in_flight_end - from,
                                base_ + static_cast<std::int64_t>(from)));
    static_cast<void>(system.seek(fd, base_ + static_cast<std::int64_t>(in_flight_end)));
    from = in_flight_end;
  }
  while (from < committed) {
    const bool whole = positioned || chunk == 0 || committed - from <= chunk;
    const std::size_t size = whole ? committed - from : chunk;
    if (write_all(system, fd, data_ + from, size, -1, !positioned) != 0) break;
    from += size;
  }
  written_.store(from, std::memory_order_release);
  in_flight_end_.store(from, std::memory_order_release);
}

} // namespace cdmg

// The product's in-memory folder with what only tests need: folders and
// permissions, character devices and FIFOs, and a fault plan that makes the
// Nth call of a kind fail, come up short, be interrupted, or have a signal
// arrive. The real run sequence runs on it in-process, on any platform.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "run.h"

namespace cdmg::testing {

using cdmg::Ended;

enum class Call { examine, open, read, write, write_at, position, seek, size, cut_back, close };
inline constexpr int kCallKinds = 10;

struct Fault {
  Call call;
  int nth;                  // 1 for the first call of that kind
  int error = 0;            // the call fails with this system error (EINTR: interrupted)
  std::size_t limit = 0;    // or: it takes or gives at most this many bytes (0: no limit)
  int signal = 0;           // or: after the call did its work, this signal arrives
  bool before_work = false; // the signal arrives before the call does anything
};

// Thrown by a call that would wait forever: a read of a FIFO whose only
// writer is the reader itself, or a write to a full FIFO nobody reads.
struct WaitsForever {};

class MemorySystem final : public MemoryFolder {
public:
  void add_folder(const std::string &name, bool writable = true);
  void add_fifo(const std::string &name, const std::string &bytes, std::size_t capacity = 0);
  void add_device(const std::string &name);

  void plan(const Fault &fault) { faults_.push_back(fault); }
  // Each read of a file gives at most this many bytes (0: all there is).
  void set_read_chunk(std::size_t bytes) { read_chunk_ = bytes; }
  // Writes on standard error neither count nor fail: the report stays whole.
  void spare_error_stream() { spare_error_stream_ = true; }
  // Called for a fault's signal, as the platform would call a handler.
  void set_signal_handler(std::function<void(int)> handler) { handler_ = std::move(handler); }

  int examine(const char *name, FileKind &kind) override;
  int open(const char *name, OpenMode mode, OpenedFile &file) override;
  int read(int fd, char *data, std::size_t size, std::size_t &done) override;
  int write(int fd, const char *data, std::size_t size, std::size_t &done) override;
  int write_now(int fd, const char *data, std::size_t size, std::size_t &done) override;
  int write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
               std::size_t &done) override;
  int position(int fd, std::int64_t &offset) override;
  int seek(int fd, std::int64_t offset) override;
  int size(int fd, std::int64_t &bytes) override;
  int cut_back(int fd, std::int64_t length) override;
  int close(int fd) override;

private:
  // The fault planned for this call, if any; counts the call.
  const Fault *next_fault(Call call);
  void deliver(const Fault *fault, bool before_work);
  // The error a planned fault gives this call, or 0.
  int planned_error(Call call);
  // Whether the descriptor is a FIFO (never positioned) or a device.
  bool is_a(int fd, FileKind kind);
  int write_as(int fd, const char *data, std::size_t size, std::size_t &done, bool now);

  std::vector<Fault> faults_;
  int counts_[kCallKinds] = {};
  std::size_t read_chunk_ = 0;
  std::function<void(int)> handler_;
  bool in_handler_ = false;
  bool spare_error_stream_ = false;
};

// What an in-process run left.
using MemoryOutcome = FolderOutcome;

// Runs the whole sequence as the program would (run_in_folder); a planned
// signal goes to the handler.
MemoryOutcome run_in_memory(MemorySystem &system);

} // namespace cdmg::testing

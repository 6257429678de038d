// An in-memory system for the I/O frame: files, folders, permissions,
// character devices and FIFOs, standard streams, and a fault plan that makes
// the Nth call of a kind fail, come up short, be interrupted, or have a
// signal arrive. The real run sequence runs on it in-process, on any
// platform; the process's exit and abort become an exception.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "system.h"

namespace cdmg::testing {

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

// How the process ended.
struct Ended {
  bool aborted = false;
  int status = 0;
  bool core_dump = false; // after an abort
};

// Thrown by a call that would wait forever: a read of a FIFO whose only
// writer is the reader itself, or a write to a full FIFO nobody reads.
struct WaitsForever {};

class MemorySystem final : public System {
public:
  struct Node {
    FileKind kind = FileKind::regular;
    std::string bytes;
    bool readable = true;
    bool writable = true;     // for a folder: files may be made in it
    std::size_t capacity = 0; // a FIFO's room when nobody reads it (0: a reader keeps up)
  };

  MemorySystem();

  // The working folder's contents. A name with '/' lies in a folder.
  void add_file(const std::string &name, const std::string &bytes, bool readable = true,
                bool writable = true);
  void add_folder(const std::string &name, bool writable = true);
  void add_fifo(const std::string &name, const std::string &bytes, std::size_t capacity = 0);
  void add_device(const std::string &name);
  bool exists(const std::string &name) const;
  const std::string &bytes(const std::string &name) const;
  // Every regular file with its bytes.
  std::map<std::string, std::string> files() const;

  // Standard streams: what the run reads, and what it wrote.
  void set_input(const std::string &bytes);
  const std::string &out() const { return nodes_.at(kStdout).bytes; }
  const std::string &err() const { return nodes_.at(kStderr).bytes; }

  void plan(const Fault &fault) { faults_.push_back(fault); }
  // Each read of a file gives at most this many bytes (0: all there is).
  void set_read_chunk(std::size_t bytes) { read_chunk_ = bytes; }
  // Writes on standard error neither count nor fail: the report stays whole.
  void spare_error_stream() { spare_error_stream_ = true; }
  // Called for a fault's signal, as the platform would call a handler.
  void set_signal_handler(std::function<void(int)> handler) { handler_ = std::move(handler); }
  int open_descriptors() const;

  int examine(const char *name, FileKind &kind) override;
  int open(const char *name, OpenMode mode, int &fd) override;
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
  bool can_position(int fd) override;
  bool is_terminal(int fd) override;
  std::size_t atomic_write_bytes() override { return 4096; }
  void hold_signals() override { ++holds_; }
  void release_signals() override { --holds_; }
  // A signal sent now would wait.
  bool signals_held() const { return holds_ > 0; }

protected:
  void end_process(int status) override;
  void abort_process(bool core_dump) override;

private:
  // No typed name can hold a line feed: these never meet a file's name.
  static constexpr const char *kStdin = "\n<stdin>";
  static constexpr const char *kStdout = "\n<stdout>";
  static constexpr const char *kStderr = "\n<stderr>";

  struct Open {
    std::string name;
    std::int64_t offset = 0;
    bool reads = false;
    bool writes = false;
    bool in_use = false;
  };

  // The fault planned for this call, if any; counts the call.
  const Fault *next_fault(Call call);
  void deliver(const Fault *fault, bool before_work);
  // 0, or why the name cannot be reached: a missing or non-folder parent.
  int reach(const std::string &name) const;
  Open *descriptor(int fd);
  int write_as(int fd, const char *data, std::size_t size, std::size_t &done, bool now);
  int put(Open &open, const char *data, std::size_t size, std::int64_t offset, std::size_t &done,
          bool now);

  std::map<std::string, Node> nodes_;
  std::vector<Open> descriptors_;
  std::vector<Fault> faults_;
  int counts_[kCallKinds] = {};
  std::size_t read_chunk_ = 0;
  std::function<void(int)> handler_;
  bool in_handler_ = false;
  int holds_ = 0;
  bool blocked_ = false;
  bool spare_error_stream_ = false;
};

// What an in-process run left.
struct MemoryOutcome {
  std::string out;
  std::string err;
  Ended ended;
  std::int32_t nt = -1; // the rows, after a normal end
};

// Runs the whole sequence on a frame of its own on `system`, as the program
// would: the run, then the exit-time closing and the exit with status 0, or
// the report and the abnormal end. A planned signal goes to the handler.
MemoryOutcome run_in_memory(MemorySystem &system);

} // namespace cdmg::testing

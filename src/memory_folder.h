// A working folder in memory with the three standard streams: the system a
// run sees where there is no operating system to ask (the browser page; the
// run in it is run_in_folder, beside run()), and the base of the tests'
// in-memory system, which adds its fault plan,
// FIFOs and devices. Names are taken as Linux takes them in a folder: "."
// and empty parts are skipped, a part before a '/' must be a folder, and a
// name ending in '/' names a folder. A name that leaves the working folder
// ("/x", "../x") finds nothing there and makes nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "system.h"

namespace cdmg {

// How the process ended: the exit and the abort of a run in memory are
// thrown as this.
struct Ended {
  bool aborted = false;
  int status = 0;
  bool core_dump = false; // after an abort
};

class MemoryFolder : public System {
public:
  MemoryFolder();

  // A regular file of the working folder. A name with '/' lies in a folder.
  void add_file(const std::string &name, const std::string &bytes, bool readable = true,
                bool writable = true);
  bool exists(const std::string &name) const;
  const std::string &bytes(const std::string &name) const;
  // Every regular file with its bytes.
  std::map<std::string, std::string> files() const;
  // The file that the last successful opening opened (after a normal run,
  // the table), or empty.
  const std::string &last_opened() const { return last_opened_; }

  // Standard streams: what the run reads, and what it wrote.
  void set_input(const std::string &bytes);
  const std::string &out() const { return nodes_.at(kStdout).bytes; }
  const std::string &err() const { return nodes_.at(kStderr).bytes; }

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
  bool is_terminal(int) override { return false; }
  std::size_t atomic_write_bytes() override { return 4096; }
  void hold_signals() override { ++holds_; }
  void release_signals() override { --holds_; }
  // A signal sent now would wait.
  bool signals_held() const { return holds_ > 0; }
  int open_descriptors() const;

protected:
  void end_process(int status) override;
  void abort_process(bool core_dump) override;

  struct Node {
    FileKind kind = FileKind::regular;
    std::string bytes;
    bool readable = true;
    bool writable = true;     // for a folder: files may be made in it
    std::size_t capacity = 0; // a FIFO's room when nobody reads it (0: a reader keeps up)
  };
  struct Open {
    std::string key;
    std::int64_t offset = 0;
    bool reads = false;
    bool writes = false;
    bool in_use = false;
  };

  // The key of what a name names, or why it names nothing: 0 with `key`
  // empty for a folder the run cannot see into, ENOENT for a name missing
  // in its folder, or the error of a part that is not a folder.
  int resolve(const std::string &name, bool creating, std::string &key) const;
  Open *descriptor(int fd);
  Node &node_of(const Open &open) { return nodes_.at(open.key); }

  // Keys of the standard streams: no name resolves to a key with '/' first.
  static constexpr const char *kStdin = "/stdin";
  static constexpr const char *kStdout = "/stdout";
  static constexpr const char *kStderr = "/stderr";

  std::map<std::string, Node> nodes_; // the working folder is the key ""
  std::vector<Open> descriptors_;

private:
  int holds_ = 0;
  std::string last_opened_;
};

} // namespace cdmg

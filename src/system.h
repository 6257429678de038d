// The one seam between the I/O frame and the operating system: every call the
// frame makes on files, streams, signal holds and the process's end goes
// through a System. The native systems (POSIX, Windows) are in the platform
// files; tests and fuzzing build their frames on an in-memory one to make
// any call fail.
//
// Calls return 0 or a system error number; none reports through errno, so a
// later call can never replace the error that a report shows. Every call but
// `error_text` is safe in a signal handler in the native systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace cdmg {

enum class FileKind { missing, regular, folder, character_device, fifo, other };

enum class OpenMode {
  read_write,       // contents untouched, positioned at the start
  read_only,        //
  create_write_only // created, or emptied when it exists
};

// What an opening found: the stream, and whether it can be repositioned
// (not a pipe, a FIFO, a socket, a terminal or another character device).
struct OpenedFile {
  int fd = -1;
  bool positionable = false;
};

class System {
public:
  virtual ~System() = default;

  // What a name names; `kind` is missing with the test's error when the name
  // cannot be examined.
  virtual int examine(const char *name, FileKind &kind) = 0;
  // One opening attempt, and what it opened (one look at the file answers
  // all of it). A folder fails every attempt with EISDIR.
  virtual int open(const char *name, OpenMode mode, OpenedFile &file) = 0;
  // One read or write: it may take or give fewer bytes than asked, and an
  // interrupted call returns EINTR. `done` is 0 at the end of a file.
  virtual int read(int fd, char *data, std::size_t size, std::size_t &done) = 0;
  virtual int write(int fd, const char *data, std::size_t size, std::size_t &done) = 0;
  // A write that never waits: a stream that cannot take all of it at once
  // takes what it can, or fails with EAGAIN. Up to `atomic_write_bytes`, a
  // pipe takes all of it or nothing.
  virtual int write_now(int fd, const char *data, std::size_t size, std::size_t &done) = 0;
  // A write at an offset, leaving the stream's position where it was.
  virtual int write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
                       std::size_t &done) = 0;
  virtual int position(int fd, std::int64_t &offset) = 0;
  virtual int seek(int fd, std::int64_t offset) = 0;
  virtual int size(int fd, std::int64_t &bytes) = 0;
  virtual int cut_back(int fd, std::int64_t length) = 0;
  virtual int close(int fd) = 0;
  virtual bool is_terminal(int fd) = 0;
  // The largest write that a pipe takes whole or not at all.
  virtual std::size_t atomic_write_bytes() = 0;
  // The platform's text of a system error. Not safe in a signal handler.
  virtual const char *error_text(int error) { return std::strerror(error); }

  // Holds off the handled signals (interrupt, termination, floating-point
  // fault, abort) while the frame changes state that a handler also
  // touches; holds nest. Never held across a call that can block.
  virtual void hold_signals() = 0;
  virtual void release_signals() = 0;

  // Ends the process at once with a status, without the exit-time work.
  [[noreturn]] void exit(int status) {
    end_process(status);
    std::_Exit(status); // end_process never returns
  }
  // Resets the abort signal to its default action and aborts: a crash.
  [[noreturn]] void abort() {
    abort_process(true);
    std::_Exit(3); // abort_process never returns
  }
  // The same after a failure report: an input error is not a crash, and
  // leaves no core dump behind.
  [[noreturn]] void abort_without_core() {
    abort_process(false);
    std::_Exit(3);
  }

protected:
  // Neither returns.
  virtual void end_process(int status) = 0;
  virtual void abort_process(bool core_dump) = 0;
};

// A scope in which the handled signals wait.
class SignalHold {
public:
  explicit SignalHold(System &system) : system_(system) { system.hold_signals(); }
  ~SignalHold() { system_.release_signals(); }
  SignalHold(const SignalHold &) = delete;
  SignalHold &operator=(const SignalHold &) = delete;

private:
  System &system_;
};

// The operating system's own.
System &native_system();

} // namespace cdmg

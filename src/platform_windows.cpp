#include "platform.h"

#include <cerrno>
#include <cfenv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace cdmg::platform {

namespace {

bool is_folder(const char *name) {
  struct _stat64 st {};
  return _stat64(name, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

// Files are opened in binary mode: the program applies the text rules itself.
// A failed opening keeps its own error; the folder test after it must not
// put the test's error in its place.
int open_file(const char *name, int flags, int mode = 0) {
  const int fd = _open(name, flags | _O_BINARY | _O_NOINHERIT, mode);
  if (fd >= 0) return fd;
  const int opening_error = errno;
  errno = is_folder(name) ? EISDIR : opening_error; // EISDIR as on other platforms
  return fd;
}

LONG WINAPI on_processor_fault(EXCEPTION_POINTERS *fault) {
  switch (fault->ExceptionRecord->ExceptionCode) {
  case EXCEPTION_FLT_DENORMAL_OPERAND:
  case EXCEPTION_FLT_DIVIDE_BY_ZERO:
  case EXCEPTION_FLT_INEXACT_RESULT:
  case EXCEPTION_FLT_INVALID_OPERATION:
  case EXCEPTION_FLT_OVERFLOW:
  case EXCEPTION_FLT_UNDERFLOW:
  case EXCEPTION_INT_DIVIDE_BY_ZERO:
    // The floating-point exception handler ends the run; it never returns.
    std::raise(SIGFPE);
    return EXCEPTION_CONTINUE_SEARCH;
  default:
    return EXCEPTION_CONTINUE_SEARCH; // an access violation ends by the platform's own handling
  }
}

} // namespace

int test_exists(const char *name) {
  struct _stat64 st {};
  return _stat64(name, &st) == 0 ? 0 : errno;
}

int open_read_write(const char *name) {
  return open_file(name, _O_RDWR);
}
int open_read_only(const char *name) {
  return open_file(name, _O_RDONLY);
}
int create_write_only(const char *name) {
  return open_file(name, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
}

bool is_character_device(int fd) {
  struct _stat64 st {};
  return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFCHR) != 0;
}

bool is_terminal(int fd) {
  return _isatty(fd) != 0;
}

std::int64_t current_position(int fd) {
  return _lseeki64(fd, 0, SEEK_CUR);
}
std::int64_t file_size(int fd) {
  return _filelengthi64(fd);
}
bool seek_to(int fd, std::int64_t position) {
  return _lseeki64(fd, position, SEEK_SET) == position;
}
int cut_back(int fd, std::int64_t length) {
  return _chsize_s(fd, length);
}

std::ptrdiff_t read_some(int fd, char *data, std::size_t size) {
  return _read(fd, data, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}

int write_all(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const int n = _write(fd, data, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
    if (n < 0) return errno;
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

void close_file(int fd) {
  _close(fd);
}

const char *error_text(int error) {
  return std::strerror(error);
}

void reset_floating_point() {
  std::fesetenv(FE_DFL_ENV);
}

void prepare_standard_streams() {
  // Console input is read by the program's own text rules; console output
  // and error stay in text mode, so each line feed reaches them as CR LF.
  _setmode(0, _O_BINARY);
}

// Windows has no signal masks, and a console interrupt runs its handler on a
// thread of its own: a lock keeps that handler's closing out of the frame's
// unfinished changes (the run's own thread may take it again, when a fault is
// raised on it).
namespace {
CRITICAL_SECTION *frame_lock() {
  static CRITICAL_SECTION lock;
  static const bool ready = [] {
    InitializeCriticalSection(&lock);
    return true;
  }();
  static_cast<void>(ready);
  return &lock;
}
} // namespace

SignalHold::SignalHold() : saved_{} {
  EnterCriticalSection(frame_lock());
}
SignalHold::~SignalHold() {
  LeaveCriticalSection(frame_lock());
}

void abort_process() {
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

void exit_now(int status) {
  _exit(status);
}

void install_signal_handler(int signal_number, void (*handler)(int)) {
  std::signal(signal_number, handler);
}

bool interrupt_ignored_at_start() {
  const auto previous = std::signal(SIGINT, SIG_IGN);
  std::signal(SIGINT, previous);
  return previous == SIG_IGN;
}

void install_fault_handler() {
  SetUnhandledExceptionFilter(on_processor_fault);
}

} // namespace cdmg::platform

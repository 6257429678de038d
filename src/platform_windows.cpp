// The Windows platform: the native system, then the process services.
#include "process.h"
#include "system.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace cdmg {

namespace {

// Windows has no signal masks, and a console interrupt runs its handler on a
// thread of its own: a lock keeps that handler's closing out of the frame's
// unfinished changes and the run's writes (the run's own thread may take it
// again, when a fault is raised on it).
CRITICAL_SECTION *frame_lock() {
  static CRITICAL_SECTION lock;
  static const bool ready = [] {
    InitializeCriticalSection(&lock);
    return true;
  }();
  static_cast<void>(ready);
  return &lock;
}

unsigned chunk(std::size_t size) {
  return static_cast<unsigned>(size < INT_MAX ? size : INT_MAX);
}

// Files are opened in binary mode: the program applies the text rules itself.
// A failed opening keeps its own error; the folder test after it must not
// put the test's error in its place.
int open_file(const char *name, int flags, OpenedFile &file) {
  const int fd = _open(name, flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    const int opening_error = errno;
    struct _stat64 st {};
    const bool folder = _stat64(name, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
    return folder ? EISDIR : opening_error; // EISDIR as on other platforms
  }
  file = {fd, GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_DISK};
  return 0;
}

class WindowsSystem final : public System {
public:
  int examine(const char *name, FileKind &kind) override {
    struct _stat64 st {};
    kind = FileKind::missing;
    if (_stat64(name, &st) != 0) return errno;
    kind = (st.st_mode & _S_IFDIR)   ? FileKind::folder
           : (st.st_mode & _S_IFCHR) ? FileKind::character_device
           : (st.st_mode & _S_IFIFO) ? FileKind::fifo
           : (st.st_mode & _S_IFREG) ? FileKind::regular
                                     : FileKind::other;
    return 0;
  }
  int open(const char *name, OpenMode mode, OpenedFile &file) override {
    static constexpr int flags[] = {_O_RDWR, _O_RDONLY, _O_WRONLY | _O_CREAT | _O_TRUNC};
    return open_file(name, flags[static_cast<int>(mode)], file);
  }
  int read(int fd, char *data, std::size_t size, std::size_t &done) override {
    const int n = _read(fd, data, chunk(size));
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
  }
  int write(int fd, const char *data, std::size_t size, std::size_t &done) override {
    const int n = _write(fd, data, chunk(size));
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
  }
  int write_now(int fd, const char *data, std::size_t size, std::size_t &done) override {
    // A pipe waits for nothing in its no-wait mode, only for this one write;
    // files and consoles take a write at once.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD wait = PIPE_WAIT;
    DWORD no_wait = PIPE_NOWAIT;
    const bool pipe =
        GetFileType(handle) == FILE_TYPE_PIPE &&
        GetNamedPipeHandleStateA(handle, &wait, nullptr, nullptr, nullptr, nullptr, 0) != 0 &&
        SetNamedPipeHandleState(handle, &no_wait, nullptr, nullptr) != 0;
    const int error = write(fd, data, size, done);
    if (pipe) {
      wait &= PIPE_NOWAIT;
      SetNamedPipeHandleState(handle, &wait, nullptr, nullptr);
    }
    return error == 0 && done == 0 && size > 0 ? EAGAIN : error;
  }
  int write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
               std::size_t &done) override {
    const std::int64_t was = _lseeki64(fd, 0, SEEK_CUR);
    if (was < 0 || _lseeki64(fd, offset, SEEK_SET) != offset) return errno;
    const int error = write(fd, data, size, done);
    _lseeki64(fd, was, SEEK_SET);
    return error;
  }
  int position(int fd, std::int64_t &offset) override {
    offset = _lseeki64(fd, 0, SEEK_CUR);
    return offset < 0 ? errno : 0;
  }
  int seek(int fd, std::int64_t offset) override {
    return _lseeki64(fd, offset, SEEK_SET) == offset ? 0 : errno;
  }
  int size(int fd, std::int64_t &bytes) override {
    bytes = _filelengthi64(fd);
    return bytes < 0 ? errno : 0;
  }
  int cut_back(int fd, std::int64_t length) override { return _chsize_s(fd, length); }
  int close(int fd) override { return _close(fd) == 0 ? 0 : errno; }
  bool is_terminal(int fd) override { return _isatty(fd) != 0; }
  std::size_t atomic_write_bytes() override { return 4096; }

  void hold_signals() override { EnterCriticalSection(frame_lock()); }
  void release_signals() override { LeaveCriticalSection(frame_lock()); }

protected:
  void end_process(int status) override { _exit(status); }
  void abort_process(bool) override {
    // Windows' abort leaves no dump behind unless the system is set to.
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
  }
};

constinit WindowsSystem windows_system;

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

System &native_system() {
  return windows_system;
}

namespace process {

void populate_pages(void *, std::size_t) {
  // Pages come at their first use; nothing cheaper to ask for here.
}

void prepare_standard_streams() {
  // Console input is read by the program's own text rules; console output
  // and error stay in text mode, so each line feed reaches them as CR LF.
  _setmode(0, _O_BINARY);
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

WriteSection::WriteSection() {
  EnterCriticalSection(frame_lock());
}
WriteSection::~WriteSection() {
  LeaveCriticalSection(frame_lock());
}

bool enter_handler_closing() {
  // Held until the process ends. The run's own thread may hold it already,
  // when a fault is raised on it; the lock lets it in again.
  for (int tries = 0; tries < 100; ++tries) {
    if (TryEnterCriticalSection(frame_lock())) return true;
    Sleep(10);
  }
  return false;
}

} // namespace process

} // namespace cdmg

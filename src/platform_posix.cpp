#include "platform.h"

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef CDMG_COVERAGE
extern "C" void __gcov_dump();
#endif

namespace cdmg::platform {

namespace {

constexpr int kCommonFlags = O_CLOEXEC | O_NOCTTY;

// Linux lets a folder be opened for reading; the program treats a folder
// like a name that cannot be opened.
int reject_folder(int fd) {
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

int open_retrying(const char *name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(name, flags | kCommonFlags, mode);
  } while (fd < 0 && errno == EINTR);
  return reject_folder(fd);
}

} // namespace

int test_exists(const char *name) {
  struct stat st {};
  return ::stat(name, &st) == 0 ? 0 : errno;
}

int open_read_write(const char *name) {
  return open_retrying(name, O_RDWR);
}
int open_read_only(const char *name) {
  return open_retrying(name, O_RDONLY);
}
int create_write_only(const char *name) {
  return open_retrying(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

bool is_character_device(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode);
}

bool is_terminal(int fd) {
  return ::isatty(fd) == 1;
}

std::int64_t current_position(int fd) {
  return ::lseek(fd, 0, SEEK_CUR);
}

std::int64_t file_size(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool seek_to(int fd, std::int64_t position) {
  return ::lseek(fd, static_cast<off_t>(position), SEEK_SET) == position;
}

int cut_back(int fd, std::int64_t length) {
  int rc;
  do {
    rc = ::ftruncate(fd, static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

std::ptrdiff_t read_some(int fd, char *data, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

int write_all(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

void close_file(int fd) {
  ::close(fd);
}

const char *error_text(int error) {
  return std::strerror(error);
}

void reset_floating_point() {
  std::fesetenv(FE_DFL_ENV);
}

void prepare_standard_streams() {
  // POSIX streams have no text mode: a line feed is written as itself. A
  // standard stream closed at start gets /dev/null, so that no file the run
  // opens takes its number and receives console lines.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int null_fd = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (null_fd >= 0 && null_fd != fd) {
        ::dup2(null_fd, fd);
        ::close(null_fd);
      }
    }
  }
}

void exit_now(int status) {
#ifdef CDMG_COVERAGE
  __gcov_dump();
#endif
  _exit(status);
}

namespace {
sigset_t handled_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGFPE);
  sigaddset(&set, SIGABRT);
  return set;
}
} // namespace

static_assert(sizeof(sigset_t) <= 256, "signal mask does not fit its holder");

SignalHold::SignalHold() {
  const sigset_t set = handled_signals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &set, &previous);
  std::memcpy(saved_, &previous, sizeof previous);
}

SignalHold::~SignalHold() {
  sigset_t previous;
  std::memcpy(&previous, saved_, sizeof previous);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void abort_process() {
#ifdef CDMG_COVERAGE
  __gcov_dump(); // an abort skips the exit-time writing of the counters
#endif
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGABRT, &action, nullptr);
  std::abort();
}

void install_signal_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = handled_signals();
  sigaction(signal_number, &action, nullptr);
}

bool interrupt_ignored_at_start() {
  struct sigaction previous {};
  sigaction(SIGINT, nullptr, &previous);
  return previous.sa_handler == SIG_IGN;
}

void install_fault_handler() {
  // The kernel already turns arithmetic faults into SIGFPE and leaves an
  // access violation to its default: nothing to install.
}

} // namespace cdmg::platform

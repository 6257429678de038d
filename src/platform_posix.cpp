// The POSIX platform: the native system, then the process services.
#include "process.h"
#include "system.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#ifdef CDMG_COVERAGE
extern "C" void __gcov_dump();
#endif

namespace cdmg {

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

// Signals held off by the frame wait in user space rather than in the
// kernel's mask: no system call per hold. A handled signal that arrives
// while a hold stands is only noted, and its handler runs when the last
// hold ends. Holds never stand across a call that can block.
volatile std::sig_atomic_t hold_depth = 0;
volatile std::sig_atomic_t deferred_signal = 0;
void (*handlers[NSIG])(int) = {};

void on_handled_signal(int signal_number) {
  // A floating-point fault cannot wait: its instruction would fault again.
  if (hold_depth > 0 && signal_number != SIGFPE) {
    if (deferred_signal == 0) deferred_signal = signal_number;
    return;
  }
  handlers[signal_number](signal_number);
}

FileKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::regular;
  if (S_ISDIR(mode)) return FileKind::folder;
  if (S_ISCHR(mode)) return FileKind::character_device;
  if (S_ISFIFO(mode)) return FileKind::fifo;
  return FileKind::other;
}

// Linux lets a folder be opened for reading; the program treats a folder
// like a name that cannot be opened. The same look at the file tells the
// rest: a regular file or a block device can be repositioned, and "/dev/null"
// (a character device, which Linux lets be positioned too) cannot, for us.
int open_file(const char *name, int flags, OpenedFile &file) {
  int fd;
  do {
    fd = ::open(name, flags | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return error;
  }
  file = {fd, S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)};
  return 0;
}

class PosixSystem final : public System {
public:
  int examine(const char *name, FileKind &kind) override {
    struct stat st {};
    kind = FileKind::missing;
    if (::stat(name, &st) != 0) return errno;
    kind = kind_of(st.st_mode);
    return 0;
  }
  int open(const char *name, OpenMode mode, OpenedFile &file) override {
    static constexpr int flags[] = {O_RDWR, O_RDONLY, O_WRONLY | O_CREAT | O_TRUNC};
    return open_file(name, flags[static_cast<int>(mode)], file);
  }
  int read(int fd, char *data, std::size_t size, std::size_t &done) override {
    const ssize_t n = ::read(fd, data, size);
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
  }
  int write(int fd, const char *data, std::size_t size, std::size_t &done) override {
    const ssize_t n = ::write(fd, data, size);
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
  }
  int write_now(int fd, const char *data, std::size_t size, std::size_t &done) override {
    // The stream's description may be shared (standard output), so it is
    // non-blocking only for this one write.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return errno;
    if ((flags & O_NONBLOCK) == 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    const int error = write(fd, data, size, done);
    if ((flags & O_NONBLOCK) == 0) fcntl(fd, F_SETFL, flags);
    return error;
  }
  int write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
               std::size_t &done) override {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
  }
  int position(int fd, std::int64_t &offset) override {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    offset = at;
    return at < 0 ? errno : 0;
  }
  int seek(int fd, std::int64_t offset) override {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
  }
  int size(int fd, std::int64_t &bytes) override {
    struct stat st {};
    bytes = -1;
    if (fstat(fd, &st) != 0) return errno;
    bytes = st.st_size;
    return 0;
  }
  int cut_back(int fd, std::int64_t length) override {
    int rc;
    do {
      rc = ::ftruncate(fd, static_cast<off_t>(length));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
  }
  int close(int fd) override { return ::close(fd) == 0 ? 0 : errno; }
  bool is_terminal(int fd) override { return ::isatty(fd) == 1; }
  std::size_t atomic_write_bytes() override { return PIPE_BUF; }

  void hold_signals() override {
    hold_depth = hold_depth + 1;
    std::atomic_signal_fence(std::memory_order_seq_cst); // the held changes come after
  }
  void release_signals() override {
    std::atomic_signal_fence(std::memory_order_seq_cst); // the held changes came before
    hold_depth = hold_depth - 1;
    if (hold_depth == 0 && deferred_signal != 0) {
      // As the kernel would have run it: the other handled signals wait
      // meanwhile. The handler never returns.
      const sigset_t set = handled_signals();
      sigprocmask(SIG_BLOCK, &set, nullptr);
      const int signal_number = deferred_signal;
      handlers[signal_number](signal_number);
    }
  }

protected:
  void end_process(int status) override {
#ifdef CDMG_COVERAGE
    __gcov_dump();
#endif
    _exit(status);
  }
  void abort_process(bool core_dump) override {
#ifdef CDMG_COVERAGE
    __gcov_dump(); // an abort skips the exit-time writing of the counters
#endif
#ifdef __linux__
    if (!core_dump) prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#else
    static_cast<void>(core_dump);
#endif
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGABRT, &action, nullptr);
    std::abort();
  }
};

constinit PosixSystem posix_system;

} // namespace

System &native_system() {
  return posix_system;
}

namespace process {

void populate_pages(void *start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Whole pages inside the range only: madvise wants a page-aligned start.
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t past_page = reinterpret_cast<std::uintptr_t>(start) % page;
  const std::size_t skipped = past_page == 0 ? 0 : page - past_page;
  if (bytes <= skipped) return;
  const std::size_t whole_pages = (bytes - skipped) / page * page;
  // Older kernels refuse the advice; the pages then come one fault at a time.
  if (whole_pages > 0) {
    static_cast<void>(
        madvise(static_cast<char *>(start) + skipped, whole_pages, MADV_POPULATE_WRITE));
  }
#else
  static_cast<void>(start);
  static_cast<void>(bytes);
#endif
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

void install_signal_handler(int signal_number, void (*handler)(int)) {
  handlers[signal_number] = handler;
  struct sigaction action {};
  action.sa_handler = on_handled_signal;
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

WriteSection::WriteSection() = default;
WriteSection::~WriteSection() = default;

bool enter_handler_closing() {
  return true; // the handler runs on the run's thread: nothing to wait for
}

} // namespace process

} // namespace cdmg

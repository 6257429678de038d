// Process-wide services of the platform, set up once at start: the
// floating-point unit, the modes of the standard streams, the signal
// handlers and what keeps a handler's closing apart from the run's writes.
// Files, streams and signal holds go through the system seam (system.h).
#pragma once

#include <cfenv>
#include <cstddef>

namespace cdmg::process {

inline void reset_floating_point() {
  std::fesetenv(FE_DFL_ENV);
}

// Asks for the pages of a writable range now, in one call, rather than a
// page fault at each page's first use. Only a hint.
void populate_pages(void *start, std::size_t bytes);

// Puts the standard streams in the modes the program expects: console input
// untranslated (the program drops CR before LF itself), console output text.
void prepare_standard_streams();

// Installs `handler` for a signal; while one handled signal is being handled
// the others wait.
void install_signal_handler(int signal_number, void (*handler)(int));
// True when the process started with interrupts ignored.
bool interrupt_ignored_at_start();
// Sends arithmetic processor faults to the SIGFPE handler and leaves access
// violations to the platform, where faults are not signals already.
void install_fault_handler();

// Held by the run around each write of a buffer. On POSIX it holds nothing:
// a handler runs on the run's own thread and knows from the buffer which
// bytes were in flight. On Windows a console interrupt runs its handler on a
// thread of its own, and this keeps that thread off the buffer meanwhile.
class WriteSection {
public:
  WriteSection();
  ~WriteSection(); // NOLINT(performance-trivially-destructible): the Windows side unlocks
  WriteSection(const WriteSection &) = delete;
  WriteSection &operator=(const WriteSection &) = delete;
};

// Taken by a handler before it closes the units: true when it may. On
// Windows it waits at most a second for the run's thread to leave a write;
// after a write that blocks longer (a pipe nobody reads) the handler ends the
// process without the closing.
bool enter_handler_closing();

} // namespace cdmg::process

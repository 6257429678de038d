// The few operating-system services the I/O frame needs. Each returns an
// error number (0 for success) or reports it through errno, never throws,
// and is safe to call from a signal handler where noted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cdmg::platform {

// 0 when a file of that name exists, else the system error of the test.
int test_exists(const char *name);

// Opening attempts; each gives a descriptor or -1 with errno set. A folder
// fails every attempt with EISDIR.
int open_read_write(const char *name);
int open_read_only(const char *name);
int create_write_only(const char *name);

// Signal-safe from here on.
bool is_character_device(int fd);
bool is_terminal(int fd);
// Current offset and size; -1 with errno on failure.
std::int64_t current_position(int fd);
std::int64_t file_size(int fd);
bool seek_to(int fd, std::int64_t position);
int cut_back(int fd, std::int64_t length);
// Bytes read (0 at the end), or -1 with errno; retries interrupted reads.
std::ptrdiff_t read_some(int fd, char *data, std::size_t size);
// Writes everything; 0 or the system error.
int write_all(int fd, const char *data, std::size_t size);
void close_file(int fd);

// The text of a system error number, as the C library words it.
const char *error_text(int error);

void reset_floating_point();

// Puts the standard streams in the modes the program expects: console input
// untranslated (the program drops CR before LF itself), console output text.
void prepare_standard_streams();

} // namespace cdmg::platform

namespace cdmg::platform {

// Holds off the handled signals (interrupt, termination, floating-point
// fault, abort) while the frame changes state a handler also touches.
class SignalHold {
public:
  SignalHold();
  ~SignalHold();
  SignalHold(const SignalHold &) = delete;
  SignalHold &operator=(const SignalHold &) = delete;

private:
  unsigned char saved_[256]; // the previous signal mask, opaque here
};

// Resets the abort signal to its default action and aborts. Signal-safe.
[[noreturn]] void abort_process();

// Ends the process at once, without the exit-time work. Signal-safe.
[[noreturn]] void exit_now(int status);

// Installs `handler` for a signal; while one handled signal is being handled
// the others wait.
void install_signal_handler(int signal_number, void (*handler)(int));
// True when the process started with interrupts ignored.
bool interrupt_ignored_at_start();
// Sends arithmetic processor faults to the SIGFPE handler and leaves access
// violations to the platform, where faults are not signals already.
void install_fault_handler();

} // namespace cdmg::platform

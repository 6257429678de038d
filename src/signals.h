// Handlers that end a run stopped from outside its sequence. All they call
// is async-signal-safe: the system's writes (fcntl around a write that must
// not wait), write_at, seek, position, size, cut_back and close, never
// error_text; sigprocmask; _exit, or sigaction and abort. On Windows a
// handler runs on a thread of its own and first waits at most a second for
// the frame's lock.
#pragma once

namespace cdmg {

class Frame;

// Floating-point exception, abort, interrupt (unless ignored at start) and
// termination request, in that order; each ends the run on `frame`.
void install_signal_handlers(Frame &frame);

// The handler of all four: its message on standard error, then the closing
// and status 1 (interrupt, termination) or the abort. Never returns. Tests
// call it directly where a signal would arrive.
[[noreturn]] void end_on_signal(Frame &frame, int signal_number);

} // namespace cdmg

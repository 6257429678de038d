#include "signals.h"

#include <csignal>

#include "frame.h"
#include "platform.h"

namespace cdmg {

namespace {

// The frame the handlers close: set once, before any handler is installed.
Frame *volatile handled_frame = nullptr;

void on_signal(int signal_number) {
  end_on_signal(*handled_frame, signal_number);
}

} // namespace

void end_on_signal(Frame &frame, int signal_number) {
  const char *message = "Interrupt\n";
  bool abnormal = false;
  switch (signal_number) {
  case SIGFPE:
    message = "Floating Exception\n";
    abnormal = true;
    break;
  case SIGABRT:
    message = "IOT Trap\n";
    abnormal = true;
    break;
  case SIGTERM:
    message = "Killed\n";
    break;
  default:
    break;
  }
  frame.write_error(message, true);
  frame.close_all(ClosingCause::from_handler);
  if (abnormal) frame.system().abort();
  frame.system().exit(1);
}

void install_fault_handler() {
  platform::install_fault_handler();
}

void install_signal_handlers(Frame &frame) {
  handled_frame = &frame;
  platform::install_signal_handler(SIGFPE, on_signal);
  platform::install_signal_handler(SIGABRT, on_signal);
  // A run started with interrupts ignored (in the background) keeps ignoring them.
  if (!platform::interrupt_ignored_at_start()) {
    platform::install_signal_handler(SIGINT, on_signal);
  }
  platform::install_signal_handler(SIGTERM, on_signal);
}

} // namespace cdmg

#include "signals.h"

#include <csignal>
#include <cstring>

#include "platform.h"
#include "units.h"

namespace cdmg {

void end_on_signal(int signal_number) {
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
  write_error_stream(message, std::strlen(message));
  end_from_handler(abnormal);
}

void install_fault_handler() {
  platform::install_fault_handler();
}

void install_signal_handlers() {
  platform::install_signal_handler(SIGFPE, end_on_signal);
  platform::install_signal_handler(SIGABRT, end_on_signal);
  // A run started with interrupts ignored (in the background) keeps ignoring them.
  if (!platform::interrupt_ignored_at_start()) {
    platform::install_signal_handler(SIGINT, end_on_signal);
  }
  platform::install_signal_handler(SIGTERM, end_on_signal);
}

} // namespace cdmg

#include "signals.h"

#include <csignal>
#include <cstring>

#include "platform.h"
#include "units.h"

namespace cdmg {

namespace {

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
  if (abnormal) abnormal_end();
  exit_time_closing();
  platform::exit_now(1);
}

void install(int signal_number) {
  struct sigaction action {};
  action.sa_handler = end_on_signal;
  // While one handler ends the run, the other handled signals wait; the run
  // ends before they could be delivered.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGFPE);
  sigaddset(&action.sa_mask, SIGABRT);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(signal_number, &action, nullptr);
}

} // namespace

void install_fault_handler() {
  // The kernel already turns arithmetic faults into SIGFPE and leaves an
  // access violation to its default; there are no structured exceptions.
}

void install_signal_handlers() {
  install(SIGFPE);
  install(SIGABRT);
  struct sigaction previous {};
  sigaction(SIGINT, nullptr, &previous);
  // A run started with interrupts ignored (in the background) keeps ignoring them.
  if (previous.sa_handler != SIG_IGN) install(SIGINT);
  install(SIGTERM);
}

} // namespace cdmg

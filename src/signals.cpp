#include "signals.h"

#include <csignal>

#include "frame.h"
#include "process.h"

namespace cdmg {

namespace {

// The frame the handlers close: set once, before any handler is installed.
Frame *volatile handled_frame = nullptr;

void on_signal(int signal_number) {
  end_on_signal(*handled_frame, signal_number);
}

} // namespace

void end_on_signal(Frame &frame, int signal_number) {
  struct Ending {
    char message[20];
    bool abnormal;
  };
  static constexpr Ending kFloating{"Floating Exception\n", true};
  static constexpr Ending kAbort{"IOT Trap\n", true};
  static constexpr Ending kTermination{"Killed\n", false};
  static constexpr Ending kInterrupt{"Interrupt\n", false};
  const Ending &ending = signal_number == SIGFPE    ? kFloating
                         : signal_number == SIGABRT ? kAbort
                         : signal_number == SIGTERM ? kTermination
                                                    : kInterrupt;
  std::size_t length = 0;
  while (ending.message[length] != '\n') ++length;
  frame.write_error(ending.message, length + 1, true);
  frame.close_all(ClosingCause::from_handler);
  if (ending.abnormal) frame.system().abort();
  frame.system().exit(1);
}

void install_signal_handlers(Frame &frame) {
  handled_frame = &frame;
  process::install_signal_handler(SIGFPE, on_signal);
  process::install_signal_handler(SIGABRT, on_signal);
  // A run started with interrupts ignored (in the background) keeps ignoring them.
  if (!process::interrupt_ignored_at_start()) {
    process::install_signal_handler(SIGINT, on_signal);
  }
  process::install_signal_handler(SIGTERM, on_signal);
}

} // namespace cdmg

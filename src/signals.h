// Handlers that end a run stopped from outside its sequence.
#pragma once

namespace cdmg {

// Processor faults of the platform's structured exceptions, where it has them.
void install_fault_handler();

// Floating-point exception, abort, interrupt (unless ignored at start) and
// termination request, in that order.
void install_signal_handlers();

} // namespace cdmg

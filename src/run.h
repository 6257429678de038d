// The conversion run: start-up, the console dialogue and the run sequence.
#pragma once

#include <cstdint>

#include "frame.h"

namespace cdmg {

// The three sample arrays of a run, every position 0.0 at its start.
struct Samples {
  float x[kCapacity];
  float y[kCapacity];
  float z[kCapacity];
};

// Never returns: the run ends by exiting with status 0, or abnormally.
[[noreturn]] void run(int argc, char **argv);

// The run sequence alone, from the banner to the closed table, on a frame
// whose standard units are connected and on fresh samples; returns the row
// count. A failure ends the process through the frame's system.
std::int32_t run_sequence(Frame &frame, Samples &samples);

} // namespace cdmg

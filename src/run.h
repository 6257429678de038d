// The conversion run: start-up, the console dialogue and the run sequence,
// in the process or in a working folder in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "frame.h"
#include "memory_folder.h"

namespace cdmg {

// The record's three component files, in the order they are read, and the
// prompt for the table's name.
inline constexpr std::string_view kComponentFiles[3] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt",
                                                        "WKZ-base-UP.txt"};
inline constexpr std::string_view kOutputPrompt =
    "Enter Output Acceleration File Name (CSV format)";

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

// What a run in memory left.
struct FolderOutcome {
  std::string out;
  std::string err;
  Ended ended;
  std::int32_t nt = -1; // the rows, after a normal end
};

// Runs the whole sequence on a frame of its own on `folder`, as the program
// would: the run, then the exit-time closing and the exit with status 0, or
// the report and the abnormal end. `prepare` sees the frame first.
FolderOutcome run_in_folder(MemoryFolder &folder, Samples &samples,
                            const std::function<void(Frame &)> &prepare = {});

} // namespace cdmg

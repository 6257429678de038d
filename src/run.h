// The conversion run: start-up, the console dialogue and the run sequence.
#pragma once

#include <cstdint>

namespace cdmg {

// Never returns: the run ends by exiting with status 0, or abnormally.
[[noreturn]] void run(int argc, char **argv);

// The run sequence alone, from the banner to the closed table, over units
// already connected; returns the row count. Clears the sample arrays first.
std::int32_t run_sequence();

} // namespace cdmg

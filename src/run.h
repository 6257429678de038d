// The conversion run: start-up, the console dialogue and the run sequence.
#pragma once

namespace cdmg {

// Never returns: the run ends by exiting with status 0, or abnormally.
[[noreturn]] void run(int argc, char **argv);

} // namespace cdmg

// Reads one component file of a record into a sample array.
#pragma once

#include <cstdint>
#include <string_view>

#include "statement.h"

namespace cdmg {

// Opens the file on unit 11, echoes header records 6 and 31, stores the data
// fields from position 1 on, writes the counter lines, closes the file and
// returns the sample count: eight per data record that ended with a line feed.
std::int32_t read_component(Io &io, std::string_view name80, float *samples);

} // namespace cdmg

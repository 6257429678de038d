// Reads one component file of a record into a sample array.
#pragma once

#include <cstdint>
#include <string_view>

#include "shared_types.h"

namespace cdmg {

// Opens the file on unit 11, echoes header records 6 and 31, stores the data
// fields from position 1 on, writes the counter lines, closes the file and
// returns the sample count: eight per data record that ended with a line feed.
// `stored` is raised to the last position it may have stored, before it
// stores there, so that the array can be cleared again quickly.
std::int32_t read_component(std::string_view name80, float *samples, std::int32_t &stored);

} // namespace cdmg

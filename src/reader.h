// Reads one component file of a record into a sample array.
#pragma once

#include <cstdint>
#include <string_view>

namespace cdmg {

// Sample positions 1 to 33000 of an array are its indices 0 to 32999.
inline constexpr std::int32_t kCapacity = 33000;

// Opens the file on unit 11, echoes header records 6 and 31, stores the data
// fields from position 1 on, writes the counter lines, closes the file and
// returns the sample count: eight per data record that ended with a line feed.
std::int32_t read_component(std::string_view name80, float *samples);

} // namespace cdmg

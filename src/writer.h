// Writes the acceleration table: one 42-byte row per sample.
#pragma once

#include <cstdint>
#include <string_view>

#include "statement.h"

namespace cdmg {

// The time of row i (from 1) of the table: the exact product of i - 1 and
// dt, rounded once to single precision.
inline float row_time(std::int32_t i, float dt) {
  return static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt));
}

// Builds row i of the table in `row`: time, then the three values, ended by
// CR LF.
void format_row(char *row, std::int32_t i, float dt, float x, float y, float z);

// Opens (or creates) the named file on unit 11, writes `nt` rows from
// position 1 of each array, and closes it, cutting an older longer file back.
void write_table(Io &io, std::string_view name80, std::int32_t nt, float dt, const float *x,
                 const float *y, const float *z);

} // namespace cdmg

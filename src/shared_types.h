// Types and sizes that the reader, the writer and the I/O frame share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cdmg {

// One record as the reader sees it: its first characters (at most 80, the
// most any field list can take) and how it ended.
struct RecordView {
  const char *chars;
  std::size_t length; // characters available, at most 80
  bool line_feed;     // false: the file ended first
};

// File names, echoed header records and the typed output name are
// 80-character texts.
inline constexpr std::size_t kTextWidth = 80;

// Sample positions 1 to 33000 of an array are its indices 0 to 32999.
inline constexpr std::int32_t kCapacity = 33000;

// The sample interval of every run, seconds.
inline constexpr float kSampleInterval = 0.01f;

// A table row: time, three values, CR LF.
inline constexpr std::size_t kRowBytes = 42;

} // namespace cdmg

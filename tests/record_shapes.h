// Data records for checking the one-pass record reading against the full
// field rule: records of the common field shapes, mutated byte by byte, and
// the comparison itself. Shared by a unit test and a fuzz target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fields.h"

namespace shapes {

// A small deterministic generator: the same seed, the same record.
class Draw {
public:
  explicit Draw(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  std::uint32_t next(std::uint32_t bound) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ % bound);
  }

private:
  std::uint64_t state_;
};

// One ten-column field of a common shape: the SMC and CDMG exponent forms,
// fixed point with two to four decimals (right- or left-justified, with or
// without a plus) or with its point and digits anywhere, or implied decimals.
inline std::string common_field(Draw &draw) {
  char text[32];
  const char sign = draw.next(2) ? '-' : ' ';
  switch (draw.next(5)) {
  case 4: {
    // "0.1072E+00", "-.3497E-01": Fortran's E10.4, two exponent digits.
    const char lead = sign == '-' ? '-' : "0 +"[draw.next(3)];
    std::snprintf(text, sizeof text, "%c.%04u%c%c%02u", lead, draw.next(10000),
                  "EEEEEEEedDX"[draw.next(11)], "+-+- 0"[draw.next(6)], draw.next(30));
    break;
  }
  case 0: {
    const char exponent_sign = "+- "[draw.next(3)];
    std::snprintf(text, sizeof text, "%c%u.%04u%c%c%u", sign, draw.next(10), draw.next(10000),
                  "EEEEEEEedDX"[draw.next(11)], exponent_sign, draw.next(10));
    break;
  }
  case 1: {
    static const char *const kFormats[] = {"%10.3f", "%10.4f", "%-10.4f", "%+10.2f"};
    const double value = (static_cast<double>(draw.next(2000000)) - 1000000.0) /
                         (draw.next(2) != 0 ? 1000.0 : 100000.0);
    std::snprintf(text, sizeof text, kFormats[draw.next(4)], value);
    break;
  }
  case 2: {
    // Any run of digits anywhere, a point at any place in it or none, a
    // minus before it or not.
    std::memset(text, ' ', 10);
    const std::uint32_t length = 1 + draw.next(10);
    const std::uint32_t start = draw.next(11 - length);
    for (std::uint32_t k = 0; k < length; ++k)
      text[start + k] = static_cast<char>('0' + draw.next(10));
    if (draw.next(3) != 0) text[start + draw.next(length)] = '.';
    if (start > 0 && sign == '-') text[start - 1] = '-';
    break;
  }
  default:
    std::snprintf(text, sizeof text, "%10d", static_cast<int>(draw.next(200000)) - 100000);
    break;
  }
  return std::string(text, 10);
}

// Eight common fields, then `mutations` bytes changed to bytes that matter
// to the field rules (or any byte).
inline std::string mutated_record(std::uint64_t seed, int mutations) {
  Draw draw(seed);
  std::string record;
  if (draw.next(3) == 0) {
    // One fixed-point layout in every field, as one format writes a record,
    // with a field of another shape here and there.
    char format[16];
    std::snprintf(format, sizeof format, "%%%s10.%uf", draw.next(4) == 0 ? "+" : "", draw.next(9));
    for (int k = 0; k < 8; ++k) {
      if (draw.next(6) == 0) {
        record += common_field(draw);
        continue;
      }
      char text[32];
      const double value = (static_cast<double>(draw.next(2000000)) - 1000000.0) /
                           static_cast<double>(1u << draw.next(20));
      std::snprintf(text, sizeof text, format, value);
      record += std::string(text, 10);
    }
  } else {
    for (int k = 0; k < 8; ++k) record += common_field(draw);
  }
  static const char kTelling[] = "0123456789 +-.,EeDdX\n\r\x1a";
  for (int k = 0; k < mutations; ++k) {
    const std::size_t at = draw.next(80);
    record[at] = draw.next(4) == 0 ? static_cast<char>(draw.next(256))
                                   : kTelling[draw.next(sizeof kTelling - 1)];
  }
  return record;
}

inline std::uint32_t bits_of(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Reads the 80 columns with the SSE2 kernel and with the plain twin, which
// is the full rule field after field: empty when they take the same records
// with the same bits.
inline std::string disagreement(const std::string &record80) {
#if CDMG_HAVE_SSE2
  // Exactly 80 bytes of their own, so that a read past them is caught.
  const std::string own(record80);
  float rule[8];
  const bool taken = cdmg::plain::read_full_record_fields(own.data(), rule);
  float values[8];
  if (cdmg::sse2::read_full_record_fields(own.data(), values) != taken ||
      (taken && std::memcmp(values, rule, sizeof rule) != 0)) // the same bits
    return "the SSE2 kernel differs at \"" + record80 + "\"";
#else
  static_cast<void>(record80);
#endif
  return {};
}

} // namespace shapes

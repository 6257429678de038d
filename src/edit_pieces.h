// The pieces the table's F fields are put together from, and the putting
// together: shared by the general editing and the row kernels.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shared_types.h"
#include "simd.h"

namespace cdmg::pieces {

// The pieces fields are put together from, in one block so that a piece is
// also a byte offset from its start.
struct FieldTexts {
  // ".ddd," for each three-decimal fraction, padded to eight bytes: the
  // comma follows every field but a row's last. Bytes 1 to 3 are the three
  // digits with their zeros: the low part of a large whole part.
  char decimals[1000][8];
  // Whole parts below 1000 in six right-aligned columns, without the minus
  // (entry w) and with it (1000 + w), padded with blanks to eight bytes.
  char whole[2000][8];
};
constexpr FieldTexts make_field_texts() {
  FieldTexts t{};
  for (int k = 0; k < 1000; ++k) {
    char *decimals = t.decimals[k];
    decimals[0] = '.';
    decimals[1] = static_cast<char>('0' + k / 100);
    decimals[2] = static_cast<char>('0' + k / 10 % 10);
    decimals[3] = static_cast<char>('0' + k % 10);
    decimals[4] = ',';
    const int first = k >= 100 ? 1 : k >= 10 ? 2 : 3; // the first digit's place
    for (int negative = 0; negative < 2; ++negative) {
      char *columns = t.whole[negative * 1000 + k];
      for (int c = 0; c < 8; ++c) columns[c] = c >= first + 2 && c < 6 ? decimals[c - 2] : ' ';
      if (negative != 0) columns[first + 1] = '-';
    }
  }
  return t;
}
inline constexpr FieldTexts kTexts = make_field_texts();
inline constexpr std::uint32_t kWholeOffset = offsetof(FieldTexts, whole);

inline const char *text_at(std::uint32_t offset) {
  return reinterpret_cast<const char *>(&kTexts) + offset;
}

// The Fw.3 fit: w - 4 columns hold the whole part, and a minus takes one
// of them. Every editing of the table, plain or SIMD, asks these.
constexpr std::uint32_t most_whole(int width, bool minus) {
  std::uint32_t power = 1;
  for (int k = width - 4 - (minus ? 1 : 0); k > 0; --k) power *= 10;
  return power - 1;
}
constexpr bool fits(int width, std::uint32_t whole, bool minus) {
  return whole <= most_whole(width, minus);
}
// The thousandths below which a value without a minus fits: those that
// round to a whole part of at most most_whole(width, false).
constexpr double fit_limit(int width) {
  return (most_whole(width, false) + 1.0) * 1000.0 - 0.5;
}
// Below this many thousandths an F10.3 field takes its whole part from one
// piece (below 1000), else from two.
inline constexpr double kOnePiece = 999999.5;
static_assert(fits(10, 999, true), "a one-piece whole part always takes a minus");

// The magnitude in thousandths, rounded to the nearest integer, ties to even,
// when below `limit` (false for larger values and infinities). The float's
// 24 significant bits times 1000's 7 (125 x 8) are exact in a double, so
// that one rounding is the correctly rounded result. Trick, "2^52
// rounding": below 2^52, adding and taking away 2^52 rounds to an integer.
inline constexpr double kTwo52 = 4503599627370496.0;
inline bool thousandths(float value, double limit, std::uint32_t &n) {
  const double scaled = std::fabs(static_cast<double>(value)) * 1000.0;
  if (!(scaled < limit)) return false;
  n = static_cast<std::uint32_t>((scaled + kTwo52) - kTwo52);
  return true;
}

// The byte offsets, in kTexts, of a field's pieces: a whole entry (from 0
// to 999, or 1000 and up with the minus), its last four columns for F7.3,
// and the three decimals.
constexpr std::uint32_t whole_piece(std::uint32_t entry) {
  return kWholeOffset + 8 * entry;
}
constexpr std::uint32_t last_four_columns(std::uint32_t entry) {
  return whole_piece(entry) + 3;
}
constexpr std::uint32_t decimals_piece(std::uint32_t decimals) {
  return 8 * decimals;
}

// A field from its pieces, each a byte offset in kTexts. One piece: eight
// bytes of `head` (F10.3), or four (F7.3). Two pieces (F10.3, whole parts
// from 1000): four bytes of `head` for columns 0 to 3 and four of `middle`
// for 3 to 6. Then the decimals. Each copy's last bytes are overwritten by
// the next.
template <int width>
CDMG_ALWAYS_INLINE void place_field(char *out, std::uint32_t head, std::uint32_t middle,
                                    std::uint32_t decimals, bool two_pieces,
                                    std::size_t decimal_bytes) {
  if (width == 7) {
    std::memcpy(out, text_at(head), 4);
  } else if (two_pieces) {
    std::memcpy(out, text_at(head), 4);
    std::memcpy(out + 3, text_at(middle), 4);
  } else {
    std::memcpy(out, text_at(head), 8);
  }
  std::memcpy(out + width - 4, text_at(decimals), decimal_bytes);
}

// The blocks of four rows one after another while `values4` edits each:
// how many. Each kernel's file instantiates it with its own editing, so
// that the block's editing inlines.
template <bool (*values4)(char *rows, const float *x, const float *y, const float *z)>
inline std::int32_t value_blocks(char *rows, std::int32_t blocks, const float *x, const float *y,
                                 const float *z) {
  std::int32_t block = 0;
  for (; block < blocks; ++block, rows += 4 * kRowBytes, x += 4, y += 4, z += 4) {
    if (!values4(rows, x, y, z)) break;
  }
  return block;
}

#if CDMG_HAVE_SSE2
// Lane k of four, a piece's offset: on x86-64 two lanes come out through
// one 64-bit move. Every entry is below 2^16.
template <int k> CDMG_ALWAYS_INLINE std::uint32_t entry(__m128i lanes) {
#if defined(__x86_64__) || defined(_M_X64)
  const auto half = static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(k < 2 ? lanes : _mm_unpackhi_epi64(lanes, lanes)));
  return static_cast<std::uint32_t>(k % 2 == 0 ? half & 0xFFFF : half >> 32);
#else
  return static_cast<std::uint32_t>(_mm_extract_epi16(lanes, 2 * k));
#endif
}
#endif

} // namespace cdmg::pieces

// Number editing on output: the F fields of the table and the items of a
// console list line.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "simd.h"

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);
inline void edit_f7_3(char *out, float value);
inline void edit_f10_3(char *out, float value);

namespace edit_detail {

// Whole parts below 1000 as six right-aligned columns, without the minus
// sign (from 0) and with it (from 1000), padded to eight bytes for
// whole-word copies.
struct WholeColumnsTable {
  char text[2000][8]; // [negative * 1000 + whole]
};
extern const WholeColumnsTable kWholeColumns;
// ".ddd" for every three-decimal fraction, then the comma that follows a
// table field that is not the last of its row, padded to eight bytes.
struct DecimalsTable {
  char text[1000][8];
};
extern const DecimalsTable kPointAndDecimals;

template <int width> void edit_f3_general(char *out, float value);

// A field placed from its table entries. With eight decimal bytes the comma
// after the field comes too, and three bytes past it are left for the next
// field to overwrite.
inline void place_f10_3(char *out, unsigned whole_index, unsigned decimals,
                        std::size_t decimal_bytes) {
  std::memcpy(out, kWholeColumns.text[whole_index], 8); // the last two overwritten next
  std::memcpy(out + 6, kPointAndDecimals.text[decimals], decimal_bytes);
}
inline void place_f7_3(char *out, unsigned whole_index, unsigned decimals,
                       std::size_t decimal_bytes) {
  std::memcpy(out, kWholeColumns.text[whole_index] + 3, 4);
  std::memcpy(out + 3, kPointAndDecimals.text[decimals], decimal_bytes);
}

// The value in thousandths, rounded to the nearest integer, ties to even:
// the float's 24 significant bits times 1000's 7 (125 x 8) are exact in
// double precision, so this one rounding is the correctly rounded result.
// Below 2^52, adding and taking away 2^52 is that rounding. Beyond 999999
// (and for infinities) it returns false, for the general editing.
inline bool thousandths_below_million(float value, std::uint32_t &thousandths,
                                      std::uint32_t &negative) {
  const double scaled = std::fabs(static_cast<double>(value)) * 1000.0;
  if (!(scaled < 999999.5)) return false;
  constexpr double kTwo52 = 4503599627370496.0;
  thousandths = static_cast<std::uint32_t>((scaled + kTwo52) - kTwo52);
  // A value that rounds to zero loses its minus sign. Taken from the sign
  // bit without a branch: signs of samples follow no pattern.
  negative =
      (std::bit_cast<std::uint32_t>(value) >> 31) & static_cast<std::uint32_t>(thousandths != 0);
  return true;
}

} // namespace edit_detail

// Four values edited at once, as the table entries of their texts: for a
// row block, whose columns are contiguous arrays. prepare_four_f3 returns
// false when a value needs the general editing (a whole part of 1000 or
// more, an infinity; for F7.3 also a negative one of 100 or more).
#if CDMG_HAVE_SSE2
// Four 32-bit lanes; every index fits a lane's low 16 bits.
using FourIndices = __m128i;
#else
using FourIndices = std::int32_t[4];
#endif
struct FourEditings {
  FourIndices whole_index; // into kWholeColumns
  FourIndices decimals;
};

template <int width>
CDMG_ALWAYS_INLINE bool prepare_four_f3(const float *values, FourEditings &editings) {
#if CDMG_HAVE_SSE2
  // Written to spare the shuffle unit, which conversions and lane moves
  // share: the doubles come straight from memory, the integers from bits.
  const __m128 narrow = _mm_loadu_ps(values);
  const __m128d low =
      _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(values))));
  const __m128d high = _mm_cvtps_pd(
      _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(values + 2))));
  const __m128d magnitude_mask = _mm_castsi128_pd(_mm_set_epi32(0x7FFFFFFF, -1, 0x7FFFFFFF, -1));
  const __m128d thousand = _mm_set1_pd(1000.0);
  const __m128d scaled_low = _mm_mul_pd(_mm_and_pd(low, magnitude_mask), thousand);
  const __m128d scaled_high = _mm_mul_pd(_mm_and_pd(high, magnitude_mask), thousand);
  // As in thousandths_below_million; "not below" also catches NaNs.
  const __m128d limit = _mm_set1_pd(999999.5);
  if (_mm_movemask_pd(
          _mm_or_pd(_mm_cmpnlt_pd(scaled_low, limit), _mm_cmpnlt_pd(scaled_high, limit))) != 0) {
    return false;
  }
  // Below 2^31, t + 2^52 is t rounded to an integer, ties to even, and that
  // integer is the low half of its bits.
  const __m128d two52 = _mm_set1_pd(4503599627370496.0);
  const __m128i thousandths = _mm_castps_si128(
      _mm_shuffle_ps(_mm_castpd_ps(_mm_add_pd(scaled_low, two52)),
                     _mm_castpd_ps(_mm_add_pd(scaled_high, two52)), _MM_SHUFFLE(2, 0, 2, 0)));
  // n / 1000 rounded down is (n x 4294968) / 2^32 rounded down for n below
  // 2^32 / 704 (4294968 x 1000 is 2^32 + 704): lanes 0 and 2, then 1 and 3.
  const __m128i magic = _mm_set1_epi32(4294968);
  const __m128i even = _mm_srli_epi64(_mm_mul_epu32(thousandths, magic), 32);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(thousandths, 32), magic);
  const __m128i whole = _mm_or_si128(even, _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
  // w x 1000 from 16-bit halves: w is below 1000, its upper half zero.
  const __m128i decimals = _mm_sub_epi32(thousandths, _mm_madd_epi16(whole, _mm_set1_epi32(1000)));
  // A value that rounds to zero loses its minus sign.
  const __m128i negative = _mm_andnot_si128(_mm_cmpeq_epi32(thousandths, _mm_setzero_si128()),
                                            _mm_srai_epi32(_mm_castps_si128(narrow), 31));
  if constexpr (width == 7) {
    // Three columns take a negative whole part only below 100.
    const __m128i too_wide =
        _mm_and_si128(negative, _mm_cmpgt_epi32(thousandths, _mm_set1_epi32(99999)));
    if (_mm_movemask_epi8(too_wide) != 0) return false;
  }
  editings.whole_index = _mm_add_epi32(whole, _mm_and_si128(negative, _mm_set1_epi32(1000)));
  editings.decimals = decimals;
  return true;
#else
  for (int k = 0; k < 4; ++k) {
    std::uint32_t n;
    std::uint32_t negative;
    if (!edit_detail::thousandths_below_million(values[k], n, negative)) return false;
    if (width == 7 && negative && n >= 100000) return false;
    editings.whole_index[k] = static_cast<std::int32_t>(negative * 1000 + n / 1000);
    editings.decimals[k] = static_cast<std::int32_t>(n % 1000);
  }
  return true;
#endif
}

// Index k of four. On x86-64 by halves through a general register, which
// spares the shuffle unit that conversions also need.
template <int k> unsigned index_at(const FourIndices &indices) {
#if CDMG_HAVE_SSE2 && (defined(__x86_64__) || defined(_M_X64))
  const auto half = static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(k < 2 ? indices : _mm_unpackhi_epi64(indices, indices)));
  return static_cast<unsigned>(k % 2 == 0 ? half & 0xFFFF : half >> 32);
#elif CDMG_HAVE_SSE2
  return static_cast<unsigned>(_mm_extract_epi16(indices, 2 * k));
#else
  return static_cast<unsigned>(indices[k]);
#endif
}

// Lane k placed; with `comma`, the comma after the field too.
template <int k, bool comma = false> void place_f10_3(char *out, const FourEditings &editings) {
  edit_detail::place_f10_3(out, index_at<k>(editings.whole_index), index_at<k>(editings.decimals),
                           comma ? 8 : 4);
}
template <int k, bool comma = false> void place_f7_3(char *out, const FourEditings &editings) {
  edit_detail::place_f7_3(out, index_at<k>(editings.whole_index), index_at<k>(editings.decimals),
                          comma ? 8 : 4);
}

inline void edit_f10_3(char *out, float value) {
  std::uint32_t n;
  std::uint32_t negative;
  if (!edit_detail::thousandths_below_million(value, n, negative)) {
    return edit_detail::edit_f3_general<10>(out, value);
  }
  const std::uint32_t whole = n / 1000;
  edit_detail::place_f10_3(out, negative * 1000 + whole, n - whole * 1000, 4);
}

inline void edit_f7_3(char *out, float value) {
  std::uint32_t n;
  std::uint32_t negative;
  // Three columns take a whole part below 1000, or below 100 with its sign.
  if (!edit_detail::thousandths_below_million(value, n, negative) || (negative && n >= 100000)) {
    return edit_detail::edit_f3_general<7>(out, value);
  }
  const std::uint32_t whole = n / 1000;
  edit_detail::place_f7_3(out, negative * 1000 + whole, n - whole * 1000, 4);
}

// Text of a real list item: blank, sign position, nine significant digits
// with a forced decimal point ("  0.00999999978", "  1.E+010").
std::string real_item_text(float value);

// Text of an integer list item: blank, "-" for negatives, the digits.
std::string integer_item_text(std::int32_t value);

// Lays out one console list statement: items break onto a further line
// before the line position would reach 80, and every line ends with "\n".
// `end` gives the statement's text.
class ListLine {
public:
  ListLine &text(std::string_view item);
  ListLine &integer(std::int32_t value);
  ListLine &real(float value);
  std::string end() {
    out_ += '\n';
    return std::move(out_);
  }

private:
  void break_before(std::size_t counted);
  void append(std::string_view placed);
  std::string out_;
  std::size_t position_ = 0;
};

} // namespace cdmg

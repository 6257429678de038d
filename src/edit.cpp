#include "edit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shared_types.h"
#include "simd.h"

namespace cdmg {

namespace {

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
constexpr FieldTexts kTexts = make_field_texts();
constexpr std::uint32_t kWholeOffset = offsetof(FieldTexts, whole);

const char *text_at(std::uint32_t offset) {
  return reinterpret_cast<const char *>(&kTexts) + offset;
}

// Below these many thousandths a field takes its whole part from one piece
// (below 1000), or from two (below 10^6, ten columns only).
constexpr double kOnePiece = 999999.5;
constexpr double kTwoPieces = 999999999.5;

// The magnitude in thousandths, rounded to the nearest integer, ties to even,
// when below `limit` (false for larger values and infinities). The float's
// 24 significant bits times 1000's 7 (125 x 8) are exact in a double, so
// that one rounding is the correctly rounded result. Trick, "2^52
// rounding": below 2^52, adding and taking away 2^52 rounds to an integer.
constexpr double kTwo52 = 4503599627370496.0;
bool thousandths(float value, double limit, std::uint32_t &n) {
  const double scaled = std::fabs(static_cast<double>(value)) * 1000.0;
  if (!(scaled < limit)) return false;
  n = static_cast<std::uint32_t>((scaled + kTwo52) - kTwo52);
  return true;
}

// A field from its pieces. One piece (F7.3 always): whole entry `head`,
// then decimals entry `decimals`. Two pieces (F10.3, whole parts from
// 1000): columns 0 to 3 from the bytes at offset `head` of kTexts, 3 to 6
// from `middle`, then the decimals. Each copy's last bytes are overwritten
// by the next.
template <int width>
CDMG_ALWAYS_INLINE void place_field(char *out, std::uint32_t head, std::uint32_t middle,
                                    std::uint32_t decimals, bool two_pieces,
                                    std::size_t decimal_bytes) {
  if (width == 7) {
    std::memcpy(out, kTexts.whole[head] + 3, 4);
  } else if (two_pieces) {
    std::memcpy(out, text_at(head), 4);
    std::memcpy(out + 3, text_at(middle), 4);
  } else {
    std::memcpy(out, kTexts.whole[head], 8);
  }
  std::memcpy(out + width - 4, kTexts.decimals[decimals], decimal_bytes);
}

// What the pieces cannot hold: values too wide for the field (asterisks),
// and infinities, right-aligned under the sign rule.
void edit_general(char *out, int width, float value) {
  const auto w = static_cast<std::size_t>(width);
  std::memset(out, '*', w);
  if (std::isfinite(value)) return;
  std::memset(out, ' ', w - 3);
  const char *const text = std::isnan(value) ? "nan" : "inf";
  std::copy(text, text + 3, out + w - 3);
  if (value < 0) out[w - 4] = '-';
}

template <int width> void edit_field(char *out, float value, std::size_t decimal_bytes) {
  std::uint32_t n = 0;
  const bool below = thousandths(value, width == 7 ? kOnePiece : kTwoPieces, n);
  const std::uint32_t minus = std::signbit(value) && n != 0 ? 1000 : 0;
  const std::uint32_t whole = n / 1000;
  const std::uint32_t decimals = n - whole * 1000;
  // Three columns take a minus only before two digits, six before five.
  if (!below || (minus != 0 && whole >= (width == 7 ? 100u : 100000u))) {
    edit_general(out, width, value);
    if (decimal_bytes > 4) out[width] = ',';
  } else if (width == 7 || whole < 1000) {
    place_field<width>(out, minus + whole, 0, decimals, false, decimal_bytes);
  } else {
    const std::uint32_t thousands = whole / 1000;
    place_field<width>(out, kWholeOffset + 8 * (minus + thousands) + 3,
                       8 * (whole - thousands * 1000) + 1, decimals, true, decimal_bytes);
  }
}

} // namespace

void edit_f3(char *out, int width, float value) {
  if (width == 7)
    edit_field<7>(out, value, 4);
  else
    edit_field<10>(out, value, 4);
}

void edit_row(char *row, float t, float x, float y, float z) {
  edit_field<7>(row, t, 8);
  edit_field<10>(row + 8, x, 8);
  edit_field<10>(row + 19, y, 8);
  edit_field<10>(row + 30, z, 4);
  row[40] = '\r';
  row[41] = '\n';
}

// The plain kernel: row after row.
bool scalar::edit_four_rows(char *rows, const float *t, const float *x, const float *y,
                            const float *z) {
  for (int k = 0; k < 4; ++k) edit_row(rows + k * kRowBytes, t[k], x[k], y[k], z[k]);
  return true;
}

#if CDMG_HAVE_SSE2
namespace sse2 {

namespace {

// The pieces of four fields of a column, as place_field takes them, in
// lanes.
struct FourLanes {
  __m128i head, middle, decimals;
};

// f(0) to f(3), unrolled: the loop's own counting would cost as much as
// the copies.
template <class F> CDMG_ALWAYS_INLINE void four_times(F f) {
  f(std::integral_constant<int, 0>{});
  f(std::integral_constant<int, 1>{});
  f(std::integral_constant<int, 2>{});
  f(std::integral_constant<int, 3>{});
}

// Lane k of four: on x86-64 two lanes come out through one 64-bit move.
// Every entry is below 2^16.
template <int k> CDMG_ALWAYS_INLINE std::uint32_t entry(__m128i lanes) {
#if defined(__x86_64__) || defined(_M_X64)
  const auto half = static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(k < 2 ? lanes : _mm_unpackhi_epi64(lanes, lanes)));
  return static_cast<std::uint32_t>(k % 2 == 0 ? half & 0xFFFF : half >> 32);
#else
  return static_cast<std::uint32_t>(_mm_extract_epi16(lanes, 2 * k));
#endif
}

template <int width, bool two_pieces>
CDMG_ALWAYS_INLINE void place_column(char *out, const FourLanes &e, std::size_t decimal_bytes) {
  four_times([&](auto k) {
    place_field<width>(out + k * kRowBytes, entry<k>(e.head), two_pieces ? entry<k>(e.middle) : 0,
                       entry<k>(e.decimals), two_pieces, decimal_bytes);
  });
}

// Trick, "multiply-shift division" (Granlund and Montgomery, "Division by
// invariant integers using multiplication"): n / 1000 rounded down is
// (n x m) / 2^s rounded down when n x (m x 1000 - 2^s) < 2^s. Lanes 0 and
// 2 are multiplied, then 1 and 3.
template <std::uint32_t m, int s> __m128i divide_by_1000(__m128i n) {
  const __m128i magic = _mm_set1_epi32(static_cast<int>(m));
  const __m128i even = _mm_srli_epi64(_mm_mul_epu32(n, magic), s);
  const __m128i odd =
      _mm_slli_epi64(_mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(n, 32), magic), s), 32);
  return _mm_or_si128(even, odd);
}
// n x 1000 for n below 2^15: its upper half is zero.
__m128i times_1000(__m128i n) {
  return _mm_madd_epi16(n, _mm_set1_epi32(1000));
}
__m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Four magnitudes times 1000, exact in doubles, beside the floats. Written
// to spare the shuffle unit, which conversions and lane moves share: the
// doubles come straight from memory, the integers from bits.
struct Scaled {
  __m128 narrow;
  __m128d low, high;
};
CDMG_ALWAYS_INLINE Scaled scaled(const float *values) {
  const __m128d magnitude_mask = _mm_castsi128_pd(_mm_set_epi32(0x7FFFFFFF, -1, 0x7FFFFFFF, -1));
  const __m128d thousand = _mm_set1_pd(1000.0);
  const auto half = [&](const float *two) {
    const __m128i bits = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(two));
    return _mm_mul_pd(_mm_and_pd(_mm_cvtps_pd(_mm_castsi128_ps(bits)), magnitude_mask), thousand);
  };
  return {_mm_loadu_ps(values), half(values), half(values + 2)};
}
// As thousandths() does; "not below" also catches NaNs.
CDMG_ALWAYS_INLINE bool below(const Scaled &s, double limit) {
  const __m128d l = _mm_set1_pd(limit);
  return _mm_movemask_pd(_mm_or_pd(_mm_cmpnlt_pd(s.low, l), _mm_cmpnlt_pd(s.high, l))) == 0;
}

// The pieces of four values already below the limit for their form; false
// for a minus that does not fit.
template <int width, bool two_pieces>
CDMG_ALWAYS_INLINE bool edit_four_pieces(const Scaled &s, FourLanes &e) {
  // The 2^52 rounding, the integers taken from the low halves of the sums.
  const __m128d two52 = _mm_set1_pd(kTwo52);
  const __m128i n = _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(_mm_add_pd(s.low, two52)),
                                                    _mm_castpd_ps(_mm_add_pd(s.high, two52)),
                                                    _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i whole = two_pieces ? divide_by_1000<2199023256u, 41>(n) // n below 2^32 / 448
                                   : divide_by_1000<4294968u, 32>(n);   // n below 2^32 / 704
  const __m128i negative = _mm_andnot_si128(_mm_cmpeq_epi32(n, _mm_setzero_si128()),
                                            _mm_srai_epi32(_mm_castps_si128(s.narrow), 31));
  // Three columns take a minus only before two digits, six before five.
  if (width == 7 || two_pieces) {
    const __m128i too_wide =
        _mm_and_si128(negative, _mm_cmpgt_epi32(whole, _mm_set1_epi32(width == 7 ? 99 : 99999)));
    if (_mm_movemask_epi8(too_wide) != 0) return false;
  }
  const __m128i sign = _mm_and_si128(negative, _mm_set1_epi32(1000));
  __m128i head = _mm_add_epi32(whole, sign); // a whole entry
  __m128i decimals;
  if constexpr (!two_pieces) {
    decimals = _mm_sub_epi32(n, times_1000(whole));
  } else {
    // whole x 1000 by halves, as the division.
    const __m128i thousand = _mm_set1_epi32(1000);
    decimals = _mm_sub_epi32(
        n, _mm_or_si128(_mm_mul_epu32(whole, thousand),
                        _mm_slli_epi64(_mm_mul_epu32(_mm_srli_epi64(whole, 32), thousand), 32)));
    const __m128i thousands = divide_by_1000<4294968u, 32>(whole);
    const __m128i pieces = _mm_cmpgt_epi32(whole, _mm_set1_epi32(999));
    const __m128i whole_offset = _mm_set1_epi32(static_cast<int>(kWholeOffset));
    head = _mm_add_epi32(_mm_slli_epi32(head, 3), whole_offset);
    const __m128i middle =
        select(pieces,
               _mm_add_epi32(_mm_slli_epi32(_mm_sub_epi32(whole, times_1000(thousands)), 3),
                             _mm_set1_epi32(1)),
               _mm_add_epi32(head, _mm_set1_epi32(3)));
    head = select(pieces,
                  _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(thousands, sign), 3),
                                _mm_add_epi32(whole_offset, _mm_set1_epi32(3))),
                  head);
    e.middle = middle;
  }
  e.head = head;
  e.decimals = decimals;
  return true;
}

// A column with whole parts from 1000, kept out of the common path.
[[gnu::noinline]] bool place_in_two_pieces(__m128 narrow, __m128d low, __m128d high, char *out,
                                           std::size_t decimal_bytes) {
  const Scaled s{narrow, low, high};
  FourLanes e;
  if (!below(s, kTwoPieces) || !edit_four_pieces<10, true>(s, e)) return false;
  // Constant sizes, so that each copy is one move.
  if (decimal_bytes == 8)
    place_column<10, true>(out, e, 8);
  else
    place_column<10, true>(out, e, 4);
  return true;
}

} // namespace

bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z) {
  // Column after column, each placed as soon as it is edited: fewer values
  // to keep at once.
  FourLanes e;
  const auto column = [&](const float *values, char *out, std::size_t decimal_bytes) {
    const Scaled s = scaled(values);
    if (!below(s, kOnePiece))
      return place_in_two_pieces(s.narrow, s.low, s.high, out, decimal_bytes);
    edit_four_pieces<10, false>(s, e); // a minus always fits six columns here
    place_column<10, false>(out, e, decimal_bytes);
    return true;
  };
  const Scaled time = scaled(t);
  if (!below(time, kOnePiece) || !edit_four_pieces<7, false>(time, e)) return false;
  place_column<7, false>(rows, e, 8);
  if (!column(x, rows + 8, 8) || !column(y, rows + 19, 8) || !column(z, rows + 30, 4)) {
    return false;
  }
  four_times([&](auto k) {
    rows[k * kRowBytes + 40] = '\r';
    rows[k * kRowBytes + 41] = '\n';
  });
  return true;
}

} // namespace sse2
#endif

bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z) {
#if CDMG_HAVE_SSE2
  return sse2::edit_four_rows(rows, t, x, y, z);
#else
  return scalar::edit_four_rows(rows, t, x, y, z);
#endif
}

} // namespace cdmg

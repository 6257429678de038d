// The SSE2 kernel of the four-row editing: a column of four values at once.
#include "edit.h"

#if CDMG_HAVE_SSE2
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "edit_pieces.h"
#include "shared_types.h"

namespace cdmg::sse2 {

using namespace pieces;

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

template <bool two_pieces>
CDMG_ALWAYS_INLINE void place_column(char *out, const FourLanes &e, std::size_t decimal_bytes) {
  four_times([&](auto k) {
    place_field<10>(out + k * kRowBytes, entry<k>(e.head), two_pieces ? entry<k>(e.middle) : 0,
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

// The pieces of four F10.3 values already below the limit for their form;
// false for a minus that does not fit.
template <bool two_pieces> CDMG_ALWAYS_INLINE bool edit_four_pieces(const Scaled &s, FourLanes &e) {
  // The 2^52 rounding, the integers taken from the low halves of the sums.
  const __m128d two52 = _mm_set1_pd(kTwo52);
  const __m128i n = _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(_mm_add_pd(s.low, two52)),
                                                    _mm_castpd_ps(_mm_add_pd(s.high, two52)),
                                                    _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i whole = two_pieces ? divide_by_1000<2199023256u, 41>(n) // n below 2^41 / 448
                                   : divide_by_1000<4294968u, 32>(n);   // n below 2^32 / 704
  const __m128i negative = _mm_andnot_si128(_mm_cmpeq_epi32(n, _mm_setzero_si128()),
                                            _mm_srai_epi32(_mm_castps_si128(s.narrow), 31));
  if (two_pieces) {
    const auto most = static_cast<int>(most_whole(10, true));
    const __m128i too_wide = _mm_and_si128(negative, _mm_cmpgt_epi32(whole, _mm_set1_epi32(most)));
    if (_mm_movemask_epi8(too_wide) != 0) return false;
  }
  const __m128i sign = _mm_and_si128(negative, _mm_set1_epi32(1000));
  // Every piece as its byte offset in kTexts (see whole_piece and its kin).
  const __m128i whole_offset = _mm_set1_epi32(static_cast<int>(whole_piece(0)));
  const __m128i last_four = _mm_set1_epi32(3);
  __m128i head = _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(whole, sign), 3), whole_offset);
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
    // The three digits below the thousands: a decimals piece's digits.
    e.middle = select(pieces,
                      _mm_add_epi32(_mm_slli_epi32(_mm_sub_epi32(whole, times_1000(thousands)), 3),
                                    _mm_set1_epi32(1)),
                      _mm_add_epi32(head, last_four));
    head = select(pieces,
                  _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(thousands, sign), 3),
                                _mm_add_epi32(whole_offset, last_four)),
                  head);
  }
  e.head = head;
  e.decimals = _mm_slli_epi32(decimals, 3);
  return true;
}

// A column with whole parts from 1000, kept out of the common path.
[[gnu::noinline]] bool place_in_two_pieces(__m128 narrow, __m128d low, __m128d high, char *out,
                                           std::size_t decimal_bytes) {
  const Scaled s{narrow, low, high};
  FourLanes e;
  if (!below(s, fit_limit(10)) || !edit_four_pieces<true>(s, e)) return false;
  // Constant sizes, so that each copy is one move.
  if (decimal_bytes == 8)
    place_column<true>(out, e, 8);
  else
    place_column<true>(out, e, 4);
  return true;
}

} // namespace

bool edit_values4(char *rows, const float *x, const float *y, const float *z) {
  // Column after column, each placed as soon as it is edited: fewer values
  // to keep at once.
  const auto column = [&](const float *values, char *out, std::size_t decimal_bytes) {
    const Scaled s = scaled(values);
    if (!below(s, kOnePiece))
      return place_in_two_pieces(s.narrow, s.low, s.high, out, decimal_bytes);
    FourLanes e;
    edit_four_pieces<false>(s, e); // a minus always fits here (fits(10, 999, true))
    place_column<false>(out, e, decimal_bytes);
    return true;
  };
  if (!column(x, rows + 8, 8) || !column(y, rows + 19, 8) || !column(z, rows + 30, 4)) {
    return false;
  }
  four_times([&](auto k) {
    rows[k * kRowBytes + 40] = '\r';
    rows[k * kRowBytes + 41] = '\n';
  });
  return true;
}

std::int32_t edit_value_blocks(char *rows, std::int32_t blocks, const float *x, const float *y,
                               const float *z) {
  return value_blocks<edit_values4>(rows, blocks, x, y, z);
}

} // namespace cdmg::sse2
#endif

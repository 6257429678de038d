// The AVX2 kernel of the row editing: a column of eight values at once,
// eight rows at a step. Its pieces are the SSE2 kernel's, twice as wide.
#include "edit.h"

#include "simd.h"
#if CDMG_BUILD_AVX2
#include <cstddef>
#include <cstdint>
#include <immintrin.h>

#include "avx2_constants.h"
#include "block_run.h"
#include "edit_pieces.h"
#include "shared_types.h"

namespace cdmg::avx2 {

using namespace pieces;

namespace {

// The kernel's constants, read from memory (avx2_constants.h).
struct alignas(32) Constants {
  std::array<std::uint64_t, 4> magnitude = splat(std::uint64_t{0x7FFFFFFFFFFFFFFF});
  std::array<double, 4> thousand = splat(1000.0);
  std::array<double, 4> one_piece = splat(kOnePiece);
  std::array<std::uint32_t, 8> whole_offset = splat(whole_piece(0));
  std::array<std::uint32_t, 8> integer_thousand = splat(std::uint32_t{1000});
  std::array<std::uint32_t, 8> thousandth = splat(std::uint32_t{4294968}); // see divide_by_1000
};
constexpr Constants kConstants{};

// Eight magnitudes times 1000, exact in doubles, beside the floats.
struct Scaled {
  __m256 narrow;
  __m256d low, high;
};

CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 __m256d magnitude_times_1000(const float *four,
                                                                 const Constants &k) {
  return _mm256_mul_pd(
      _mm256_and_pd(_mm256_cvtps_pd(_mm_loadu_ps(four)), _mm256_castsi256_pd(vector(k.magnitude))),
      _mm256_castsi256_pd(vector(k.thousand)));
}
// The values of eight rows, or of four twice over (the lanes of the second
// four then repeat the first's work).
template <int rows>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 Scaled scaled(const float *values, const Constants &k) {
  return {rows == 8 ? _mm256_loadu_ps(values)
                    : _mm256_broadcast_ps(reinterpret_cast<const __m128 *>(values)),
          magnitude_times_1000(values, k), magnitude_times_1000(values + (rows == 8 ? 4 : 0), k)};
}

// As thousandths() does; "not below" also catches NaNs.
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 bool below(const Scaled &s, __m256d limit) {
  return _mm256_movemask_pd(_mm256_or_pd(_mm256_cmp_pd(s.low, limit, _CMP_NLT_UQ),
                                         _mm256_cmp_pd(s.high, limit, _CMP_NLT_UQ))) == 0;
}

// n / 1000 rounded down by multiply-shift, as the SSE2 kernel divides: the
// even lanes' products shifted by s; the odd lanes' by s - 32, which puts
// the quotient in their upper half, the half the blend takes.
template <int s>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 __m256i divide_by_1000(__m256i n, __m256i magic) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(n, magic), s);
  const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), magic), s - 32);
  return _mm256_blend_epi32(even, odd, 0xAA);
}

// The pieces of eight fields of a column, as place_field takes them.
struct EightLanes {
  __m256i head, middle, decimals;
};

// The pieces of eight values already below the limit for their form; false
// for a minus that does not fit.
template <int width, bool two_pieces>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 bool edit_eight_pieces(const Scaled &s, const Constants &k,
                                                           EightLanes &e) {
  // Rounded to the nearest integer, ties to even: the processor's rounding,
  // as the 2^52 rounding of the other kernels is.
  const __m256i n = _mm256_set_m128i(_mm256_cvtpd_epi32(s.high), _mm256_cvtpd_epi32(s.low));
  const __m256i thousandth = vector(k.thousandth);
  const __m256i whole =
      two_pieces ? divide_by_1000<41>(n, _mm256_set1_epi32(static_cast<int>(2199023256u)))
                 : divide_by_1000<32>(n, thousandth); // n below 2^41 / 448, and 2^32 / 704
  const __m256i negative =
      _mm256_andnot_si256(_mm256_cmpeq_epi32(n, _mm256_setzero_si256()),
                          _mm256_srai_epi32(_mm256_castps_si256(s.narrow), 31));
  // Three columns take a minus only before two digits, six before five.
  if (width == 7 || two_pieces) {
    const __m256i too_wide = _mm256_and_si256(
        negative, _mm256_cmpgt_epi32(whole, _mm256_set1_epi32(width == 7 ? 99 : 99999)));
    if (_mm256_testz_si256(too_wide, too_wide) == 0) return false;
  }
  const __m256i thousand = vector(k.integer_thousand);
  const __m256i sign = _mm256_and_si256(negative, thousand);
  // Every piece as its byte offset in kTexts (see whole_piece and its kin).
  const __m256i whole_offset = vector(k.whole_offset);
  const __m256i last_four = _mm256_set1_epi32(3);
  __m256i head =
      _mm256_add_epi32(_mm256_slli_epi32(_mm256_add_epi32(whole, sign), 3), whole_offset);
  if (width == 7) head = _mm256_add_epi32(head, last_four);
  __m256i decimals;
  if constexpr (!two_pieces) {
    // whole x 1000 for whole below 2^15: its upper half is zero.
    decimals = _mm256_sub_epi32(n, _mm256_madd_epi16(whole, thousand));
  } else {
    decimals = _mm256_sub_epi32(n, _mm256_mullo_epi32(whole, thousand));
    const __m256i thousands = divide_by_1000<32>(whole, thousandth);
    const __m256i pieces = _mm256_cmpgt_epi32(whole, _mm256_set1_epi32(999));
    // The three digits below the thousands: a decimals piece's digits.
    const __m256i below_thousands = _mm256_sub_epi32(whole, _mm256_madd_epi16(thousands, thousand));
    e.middle = _mm256_blendv_epi8(
        _mm256_add_epi32(head, last_four),
        _mm256_add_epi32(_mm256_slli_epi32(below_thousands, 3), _mm256_set1_epi32(1)), pieces);
    head =
        _mm256_blendv_epi8(head,
                           _mm256_add_epi32(_mm256_slli_epi32(_mm256_add_epi32(thousands, sign), 3),
                                            _mm256_add_epi32(whole_offset, last_four)),
                           pieces);
  }
  e.head = head;
  e.decimals = _mm256_slli_epi32(decimals, 3);
  return true;
}

// Lane k of eight, as the SSE2 kernel takes lanes of four: a lane
// extracted by itself (vpextrd) costs more time on some processors.
template <int k> CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 std::uint32_t entry(__m256i lanes) {
  return pieces::entry<k % 4>(k < 4 ? _mm256_castsi256_si128(lanes)
                                    : _mm256_extracti128_si256(lanes, 1));
}

template <int width, bool two_pieces, int k>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 void place_lane(char *out, const EightLanes &e,
                                                    std::size_t decimal_bytes) {
  place_field<width>(out + k * kRowBytes, entry<k>(e.head), two_pieces ? entry<k>(e.middle) : 0,
                     entry<k>(e.decimals), two_pieces, decimal_bytes);
}

// The fields of the first `rows` lanes, each one row below the last.
template <int width, bool two_pieces, int rows>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 void place_column(char *out, const EightLanes &e,
                                                      std::size_t decimal_bytes) {
  place_lane<width, two_pieces, 0>(out, e, decimal_bytes);
  place_lane<width, two_pieces, 1>(out, e, decimal_bytes);
  place_lane<width, two_pieces, 2>(out, e, decimal_bytes);
  place_lane<width, two_pieces, 3>(out, e, decimal_bytes);
  if constexpr (rows == 8) {
    place_lane<width, two_pieces, 4>(out, e, decimal_bytes);
    place_lane<width, two_pieces, 5>(out, e, decimal_bytes);
    place_lane<width, two_pieces, 6>(out, e, decimal_bytes);
    place_lane<width, two_pieces, 7>(out, e, decimal_bytes);
  }
}

// A column with whole parts from 1000, kept out of the common path. It
// takes the values again rather than their registers: on 64-bit Windows a
// register argument goes through the stack, which GCC does not align for
// it.
template <int rows>
[[gnu::noinline]] CDMG_TARGET_AVX2 bool place_in_two_pieces(const float *values, char *out,
                                                            std::size_t decimal_bytes) {
  const Scaled s = scaled<rows>(values, kConstants);
  EightLanes e;
  if (!below(s, _mm256_set1_pd(kTwoPieces)) || !edit_eight_pieces<10, true>(s, kConstants, e))
    return false;
  // Constant sizes, so that each copy is one move.
  if (decimal_bytes == 8)
    place_column<10, true, rows>(out, e, 8);
  else
    place_column<10, true, rows>(out, e, 4);
  return true;
}

template <int rows>
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 bool value_column(const float *values, const Constants &k,
                                                      char *out, std::size_t decimal_bytes) {
  const Scaled s = scaled<rows>(values, k);
  if (!below(s, _mm256_castsi256_pd(vector(k.one_piece))))
    return place_in_two_pieces<rows>(values, out, decimal_bytes);
  EightLanes e;
  edit_eight_pieces<10, false>(s, k, e); // a minus always fits six columns here
  place_column<10, false, rows>(out, e, decimal_bytes);
  return true;
}

// The three values of four or eight rows, and their line ends.
template <int rows>
CDMG_TARGET_AVX2 bool three_values(char *out, const float *x, const float *y, const float *z) {
  const Constants &k = in_memory(kConstants);
  if (!value_column<rows>(x, k, out + 8, 8) || !value_column<rows>(y, k, out + 19, 8) ||
      !value_column<rows>(z, k, out + 30, 4)) {
    return false;
  }
  for (int row = 0; row < rows; ++row) {
    out[row * kRowBytes + 40] = '\r';
    out[row * kRowBytes + 41] = '\n';
  }
  return true;
}

} // namespace

CDMG_TARGET_AVX2 bool edit_four_rows(char *rows, const float *t, const float *x, const float *y,
                                     const float *z) {
  const Constants &k = in_memory(kConstants);
  const Scaled time = scaled<4>(t, k);
  EightLanes e;
  if (!below(time, _mm256_castsi256_pd(vector(k.one_piece))) ||
      !edit_eight_pieces<7, false>(time, k, e))
    return false;
  place_column<7, false, 4>(rows, e, 8);
  return three_values<4>(rows, x, y, z);
}

CDMG_TARGET_AVX2 std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks,
                                          float dt, const float *x, const float *y,
                                          const float *z) {
  return edit_block_run<sse2::row_times, edit_four_rows, three_values<4>, three_values<8>>(
      out, first, blocks, dt, x, y, z);
}

} // namespace cdmg::avx2
#endif

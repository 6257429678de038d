// The AVX2 kernel of the four-row editing: a column of four values at once,
// as the SSE2 kernel edits it, with the four doubles in one register and
// each piece of the four fields fetched by one gather.
#include "edit.h"

#include "block_run.h"
#include "simd.h"
#if CDMG_BUILD_AVX2
#include <cstdint>
#include <cstring>
#include <immintrin.h>

#include "edit_pieces.h"
#include "shared_types.h"

namespace cdmg::avx2 {

namespace {

using namespace pieces;

// The pieces of four fields, as byte offsets in kTexts, in lanes.
struct Column {
  __m128i head, middle, decimals;
};

// The four magnitudes times 1000, exact in doubles.
CDMG_TARGET_AVX2 inline __m256d scaled(__m128 values) {
  const __m256d magnitude_mask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  return _mm256_mul_pd(_mm256_and_pd(_mm256_cvtps_pd(values), magnitude_mask),
                       _mm256_set1_pd(1000.0));
}
// As thousandths() does; "not below" also catches NaNs.
CDMG_TARGET_AVX2 inline bool below(__m256d scaled, double limit) {
  return _mm256_movemask_pd(_mm256_cmp_pd(scaled, _mm256_set1_pd(limit), _CMP_NLT_UQ)) == 0;
}

// The pieces of four values already below the limit for their form; false
// for a minus that does not fit. As the SSE2 kernel, but the whole parts by
// one division: n / 1000 rounded down is exact, for the quotient of n below
// 10^9 stays more than its rounding error from the next whole number.
template <int width, bool two_pieces>
CDMG_TARGET_AVX2 inline bool column_pieces(__m128 values, __m256d scaled, Column &c) {
  const __m256d two52 = _mm256_set1_pd(kTwo52);
  const __m256d thousand = _mm256_set1_pd(1000.0);
  // The 2^52 rounding, to nearest with ties to even.
  const __m256d n = _mm256_sub_pd(_mm256_add_pd(scaled, two52), two52);
  const __m256d q = _mm256_floor_pd(_mm256_div_pd(n, thousand));
  const __m128i whole = _mm256_cvttpd_epi32(q);
  const __m128i decimals = _mm256_cvttpd_epi32(_mm256_sub_pd(n, _mm256_mul_pd(q, thousand)));
  const __m128i negative =
      _mm_andnot_si128(_mm_cmpeq_epi32(_mm_or_si128(whole, decimals), _mm_setzero_si128()),
                       _mm_srai_epi32(_mm_castps_si128(values), 31));
  // Three columns take a minus only before two digits, six before five.
  if (width == 7 || two_pieces) {
    const __m128i too_wide =
        _mm_and_si128(negative, _mm_cmpgt_epi32(whole, _mm_set1_epi32(width == 7 ? 99 : 99999)));
    if (_mm_movemask_epi8(too_wide) != 0) return false;
  }
  const __m128i sign = _mm_and_si128(negative, _mm_set1_epi32(1000));
  const __m128i whole_offset = _mm_set1_epi32(static_cast<int>(whole_piece(0)));
  const __m128i last_four = _mm_set1_epi32(3);
  __m128i head = _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(whole, sign), 3), whole_offset);
  if (width == 7) head = _mm_add_epi32(head, last_four);
  if constexpr (two_pieces) {
    const __m128i thousands = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_div_pd(q, thousand)));
    const __m128i below_thousands =
        _mm_sub_epi32(whole, _mm_mullo_epi32(thousands, _mm_set1_epi32(1000)));
    const __m128i pieces = _mm_cmpgt_epi32(whole, _mm_set1_epi32(999));
    // The three digits below the thousands: a decimals piece's digits.
    c.middle = _mm_blendv_epi8(_mm_add_epi32(head, last_four),
                               _mm_add_epi32(_mm_slli_epi32(below_thousands, 3), _mm_set1_epi32(1)),
                               pieces);
    head = _mm_blendv_epi8(head,
                           _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(thousands, sign), 3),
                                         _mm_add_epi32(whole_offset, last_four)),
                           pieces);
  }
  c.head = head;
  c.decimals = _mm_slli_epi32(decimals, 3);
  return true;
}

// Eight bytes at each offset, for the four rows.
CDMG_TARGET_AVX2 inline __m256i gather(__m128i offsets) {
  return _mm256_i32gather_epi64(reinterpret_cast<const long long *>(&kTexts), offsets, 1);
}

// The four lanes' eight bytes, or their first four, one row apart.
template <std::size_t bytes> CDMG_TARGET_AVX2 inline void store_rows(char *out, __m256i lanes) {
  const __m128i low = _mm256_castsi256_si128(lanes);
  const __m128i high = _mm256_extracti128_si256(lanes, 1);
  if constexpr (bytes == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), low);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(out + kRowBytes), _mm_castsi128_ps(low));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 2 * kRowBytes), high);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(out + 3 * kRowBytes), _mm_castsi128_ps(high));
  } else {
    const auto store = [](char *to, int four) { std::memcpy(to, &four, 4); };
    store(out, _mm_cvtsi128_si32(low));
    store(out + kRowBytes, _mm_extract_epi32(low, 2));
    store(out + 2 * kRowBytes, _mm_cvtsi128_si32(high));
    store(out + 3 * kRowBytes, _mm_extract_epi32(high, 2));
  }
}

// Places a column's pieces in the four rows, in the order place_field
// copies them: each copy's last bytes are overwritten by the next.
template <int width, bool two_pieces, std::size_t decimal_bytes>
CDMG_TARGET_AVX2 inline void place_column(char *out, const Column &c) {
  store_rows<8>(out, gather(c.head));
  if (two_pieces) store_rows<8>(out + 3, gather(c.middle));
  store_rows<decimal_bytes>(out + width - 4, gather(c.decimals));
}

// A column with whole parts from 1000, kept out of the common path.
template <std::size_t decimal_bytes>
[[gnu::noinline]] CDMG_TARGET_AVX2 bool place_in_two_pieces(__m128 values, char *out) {
  const __m256d s = scaled(values);
  Column c;
  if (!below(s, kTwoPieces) || !column_pieces<10, true>(values, s, c)) return false;
  place_column<10, true, decimal_bytes>(out, c);
  return true;
}

template <std::size_t decimal_bytes>
CDMG_TARGET_AVX2 inline bool value_column(const float *values, char *out) {
  const __m128 v = _mm_loadu_ps(values);
  const __m256d s = scaled(v);
  if (!below(s, kOnePiece)) return place_in_two_pieces<decimal_bytes>(v, out);
  Column c;
  column_pieces<10, false>(v, s, c); // a minus always fits six columns here
  place_column<10, false, decimal_bytes>(out, c);
  return true;
}

CDMG_TARGET_AVX2 inline void row_times(float *t, std::int32_t first, float dt) {
  // As the plain twin (block_run.h) does, four at once.
  const __m128i index = _mm_add_epi32(_mm_set1_epi32(first - 1), _mm_setr_epi32(0, 1, 2, 3));
  _mm_store_ps(t, _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(index),
                                                _mm256_set1_pd(static_cast<double>(dt)))));
}

CDMG_TARGET_AVX2 inline bool four_rows(char *rows, const float *t, const float *x, const float *y,
                                       const float *z) {
  const __m128 time = _mm_loadu_ps(t);
  const __m256d s = scaled(time);
  Column c;
  if (!below(s, kOnePiece) || !column_pieces<7, false>(time, s, c)) return false;
  place_column<7, false, 8>(rows, c);
  if (!value_column<8>(x, rows + 8) || !value_column<8>(y, rows + 19) ||
      !value_column<4>(z, rows + 30)) {
    return false;
  }
  for (std::size_t k = 0; k < 4; ++k) {
    rows[k * kRowBytes + 40] = '\r';
    rows[k * kRowBytes + 41] = '\n';
  }
  return true;
}

} // namespace

CDMG_TARGET_AVX2 bool edit_four_rows(char *rows, const float *t, const float *x, const float *y,
                                     const float *z) {
  return four_rows(rows, t, x, y, z);
}

CDMG_TARGET_AVX2 std::int32_t edit_blocks(char *out, std::int32_t first, std::int32_t blocks,
                                          float dt, const float *x, const float *y,
                                          const float *z) {
  return edit_block_run<row_times, four_rows>(out, first, blocks, dt, x, y, z);
}

} // namespace cdmg::avx2
#endif

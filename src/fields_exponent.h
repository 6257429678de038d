// The two exponent shapes of USGS and CDMG records, read a whole record at
// once with SSE2: inline, for the SSE2 and the AVX2 kernels alike.
#pragma once

#include "simd.h"
#if CDMG_HAVE_SSE2
#include <array>
#include <cstdint>

#include "field_rule.h"

namespace cdmg::exponent_shapes {

using rule::kExactPowers;
using rule::kFieldWidth;
using rule::kNaN;

// Two exponent shapes fill nearly every USGS and CDMG data record, each
// described column by column: 's' a sign (a blank, '+', '-' or a 0, which
// changes nothing before digits), 'd' a digit, '.' and 'E' themselves; SMC
// "-1.2345E-1" is "sd.ddddEsd", CDMG "-.3497E-01" is "s.ddddEsdd". A field
// m x 10^s is read as (m x 10^a) / 10^b with a - b = s, both exact doubles
// (Clinger's fast path, as in decimal_to_float). `scale` is a: 5 reaches
// every SMC exponent (-13 to 5), 8 the CDMG ones from -14 to 8; the rest go
// to the general reading.
enum class Shape { smc, cdmg };
struct ShapeDescription {
  const char *columns;
  int scale;
};
inline constexpr ShapeDescription kDescriptions[] = {{"sd.ddddEsd", 5}, {"s.ddddEsdd", 8}};

constexpr int count_of(const char *text, char c, int from, int to) {
  int n = 0;
  for (int k = from; k < to; ++k) n += text[k] == c ? 1 : 0;
  return n;
}
constexpr int index_of(const char *text, char c) {
  int k = 0;
  while (text[k] != c) ++k;
  return k;
}
constexpr int power_of_ten(int k) {
  return k == 0 ? 1 : 10 * power_of_ten(k - 1);
}

// A shape is checked per column as a range of allowed bytes. Trick, "range
// check by one signed compare" (Hacker's Delight 4-1): a byte is in
// [low, low + width] when byte - low, taken modulo 256 with its top bit
// flipped, is not above the width with its top bit flipped.
struct ColumnRanges {
  std::array<std::uint8_t, 80> biased_low{};
  std::array<std::uint8_t, 80> biased_width{};
};

// The divisor's index is the sum of the two sign columns' offsets and the
// exponent's digit bytes; a sign column with anything but a blank, a sign
// or 0 adds kBadSign, which leaves the index in range once masked.
inline constexpr unsigned kBadSign = 1024;
inline constexpr unsigned kIndexMask = kBadSign - 1;

constexpr std::array<std::uint16_t, 256> make_sign_offsets(unsigned minus_offset) {
  std::array<std::uint16_t, 256> offsets{};
  for (auto &v : offsets) v = kBadSign;
  offsets[' '] = 0; // blanks are skipped, so a blank there is no sign at all
  offsets['+'] = 0;
  offsets['0'] = 0;
  offsets['-'] = static_cast<std::uint16_t>(minus_offset);
  return offsets;
}

// Everything a shape's readings need, made from its description.
template <Shape shape> struct ShapeTables {
  static constexpr const char *kColumns = kDescriptions[static_cast<int>(shape)].columns;
  static constexpr int kScale = kDescriptions[static_cast<int>(shape)].scale;
  static constexpr int kLetter = index_of(kColumns, 'E');
  static constexpr int kFirstDigit = index_of(kColumns, 'd');
  static constexpr int kFraction = count_of(kColumns, 'd', index_of(kColumns, '.'), kLetter);
  // Exponent index: its digit bytes, + kNegativeExponent for a minus there,
  // + kMinus for one before the mantissa.
  static constexpr unsigned kNegativeExponent =
      static_cast<unsigned>(power_of_ten(count_of(kColumns, 'd', kLetter, kFieldWidth)));
  static constexpr unsigned kMinus = 2 * kNegativeExponent;
  static constexpr unsigned kDigitBytes = '0' * (kNegativeExponent - 1) / 9; // '0' x 1 or 11

  // The mantissa: each digit column's weight; the sum of all weights times
  // '0' comes off the weighted bytes.
  static constexpr std::int16_t weight(std::size_t c) {
    const int k = static_cast<int>(c);
    return static_cast<std::int16_t>(k < kLetter && kColumns[k] == 'd'
                                         ? power_of_ten(count_of(kColumns, 'd', k + 1, kLetter))
                                         : 0);
  }
  static constexpr int kZeros = '0' * (power_of_ten(count_of(kColumns, 'd', 0, kLetter)) - 1) / 9;

  static constexpr ColumnRanges ranges() {
    ColumnRanges r;
    for (std::size_t column = 0; column < 80; ++column) {
      const char c = kColumns[column % kFieldWidth];
      const std::uint8_t low = c == 'd' ? '0' : c == 's' ? 0 : static_cast<std::uint8_t>(c);
      const std::uint8_t width = c == 'd' ? 9 : c == 's' ? 0xFF : 0;
      r.biased_low[column] = static_cast<std::uint8_t>(low + 0x80);
      r.biased_width[column] = static_cast<std::uint8_t>(width ^ 0x80);
    }
    return r;
  }
  alignas(16) static constexpr ColumnRanges kRanges = ranges();

  static constexpr std::array<std::uint16_t, 256> kMantissaSign = make_sign_offsets(kMinus);
  static constexpr std::array<std::uint16_t, 256> kExponentSign =
      make_sign_offsets(kNegativeExponent);

  // The signed divisors 10^b by index; NaN where the exponent is out of reach.
  static constexpr std::array<double, kIndexMask + 1> divisors() {
    std::array<double, kIndexMask + 1> d{};
    d.fill(kNaN); // the rest is never indexed
    for (unsigned index = 0; index < 2 * kMinus; ++index) {
      const int exponent = static_cast<int>(index % kNegativeExponent);
      const int b = kScale + kFraction + (index / kNegativeExponent % 2 ? exponent : -exponent);
      const double divisor = b >= 0 && b <= 22 ? kExactPowers[static_cast<std::size_t>(b)] : kNaN;
      d[index + kDigitBytes] = index >= kMinus ? -divisor : divisor;
    }
    return d;
  }
  static constexpr std::array<double, kIndexMask + 1> kSignedDivisors = divisors();

  // A 16-byte load from a field's first digit column: its digit columns,
  // then (from byte 10) the next field's, as the even and the odd bytes of
  // 16-bit lanes.
  struct PairWeights {
    std::int16_t even[8];
    std::int16_t odd[8];
  };
  static constexpr PairWeights pair_weights() {
    PairWeights p{};
    for (std::size_t byte = 0; byte < 16; ++byte) {
      const std::size_t column = kFirstDigit + byte % kFieldWidth;
      (byte % 2 == 0 ? p.even : p.odd)[byte / 2] = weight(column);
    }
    return p;
  }
  alignas(16) static constexpr PairWeights kPairWeights = pair_weights();
};

// The signed divisor of a field of the shape (NaN when its exponent is out
// of reach); `signs` collects kBadSign when a sign column holds something
// else.
template <Shape shape> CDMG_ALWAYS_INLINE double field_divisor(const char *field, unsigned &signs) {
  using Tables = ShapeTables<shape>;
  const unsigned sign = Tables::kMantissaSign[static_cast<std::uint8_t>(field[0])];
  const unsigned exponent_sign =
      Tables::kExponentSign[static_cast<std::uint8_t>(field[Tables::kLetter + 1])];
  signs |= sign | exponent_sign;
  // Digits by the ranges, as their bytes: the table allows for the '0's.
  unsigned exponent = static_cast<std::uint8_t>(field[9]);
  if constexpr (Tables::kNegativeExponent == 100) {
    exponent += static_cast<std::uint8_t>(field[8]) * 10u;
  }
  return Tables::kSignedDivisors[(sign + exponent_sign + exponent) & kIndexMask];
}

// The k-th ten-column field from `text` on.
inline const char *field_at(const char *text, int k) {
  return text + static_cast<std::ptrdiff_t>(k) * kFieldWidth;
}

template <Shape shape> CDMG_ALWAYS_INLINE bool record_has_shape(const char *record80) {
  // Five blocks of 16 columns; any byte out of its range marks the record.
  const ColumnRanges &r = ShapeTables<shape>::kRanges;
  __m128i outside = _mm_setzero_si128();
  for (std::size_t block = 0; block < 80; block += 16) {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i *>(record80 + block));
    const __m128i low =
        _mm_load_si128(reinterpret_cast<const __m128i *>(r.biased_low.data() + block));
    const __m128i width =
        _mm_load_si128(reinterpret_cast<const __m128i *>(r.biased_width.data() + block));
    outside = _mm_or_si128(outside, _mm_cmpgt_epi8(_mm_sub_epi8(text, low), width));
  }
  return _mm_movemask_epi8(outside) == 0;
}

// Four fields of the shape from `fields` on, into values[0..3]; false, with
// some values written, when a sign column holds something else or an
// exponent is out of reach. Written to spare the shuffle unit: one load
// takes the mantissas of two fields. Trick, "digits weighted by pmaddwd"
// (as in simdjson's number parsing): the bytes are weighted in place as the
// even and the odd bytes of 16-bit lanes, and each multiply-add sums two.
template <Shape shape> CDMG_ALWAYS_INLINE bool fields_value4(const char *fields, float *values) {
  using Tables = ShapeTables<shape>;
  const __m128i even_weights =
      _mm_load_si128(reinterpret_cast<const __m128i *>(Tables::kPairWeights.even));
  const __m128i odd_weights =
      _mm_load_si128(reinterpret_cast<const __m128i *>(Tables::kPairWeights.odd));
  const __m128i low_bytes = _mm_set1_epi16(0x00FF);
  // Lane sums [a, b, c, d]: the first field's mantissa is a + b, the
  // second's c + d (each plus its weighted '0's).
  const auto pair_sums = [&](const char *pair) {
    const __m128i text =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(pair + Tables::kFirstDigit));
    return _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(text, low_bytes), even_weights),
                         _mm_madd_epi16(_mm_srli_epi16(text, 8), odd_weights));
  };
  const __m128 sums01 = _mm_castsi128_ps(pair_sums(fields));
  const __m128 sums23 = _mm_castsi128_ps(pair_sums(field_at(fields, 2)));
  const __m128i mantissas = _mm_sub_epi32(
      _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(sums01, sums23, _MM_SHUFFLE(2, 0, 2, 0))),
                    _mm_castps_si128(_mm_shuffle_ps(sums01, sums23, _MM_SHUFFLE(3, 1, 3, 1)))),
      _mm_set1_epi32(Tables::kZeros));
  unsigned signs = 0;
  const __m128d divisors01 = _mm_set_pd(field_divisor<shape>(field_at(fields, 1), signs),
                                        field_divisor<shape>(fields, signs));
  const __m128d divisors23 = _mm_set_pd(field_divisor<shape>(field_at(fields, 3), signs),
                                        field_divisor<shape>(field_at(fields, 2), signs));
  const __m128d scale = _mm_set1_pd(kExactPowers[static_cast<std::size_t>(Tables::kScale)]);
  // Adding +0 turns the -0 of a zero field into +0.
  const auto quotients = [&](__m128i two, __m128d divisors) {
    return _mm_cvtpd_ps(_mm_add_pd(_mm_div_pd(_mm_mul_pd(_mm_cvtepi32_pd(two), scale), divisors),
                                   _mm_setzero_pd()));
  };
  const __m128 low = quotients(mantissas, divisors01);
  const __m128 four =
      _mm_movelh_ps(low, quotients(_mm_unpackhi_epi64(mantissas, mantissas), divisors23));
  _mm_storeu_ps(values, four);
  // A divisor out of reach is NaN, and so is its quotient.
  if (Tables::kNegativeExponent == 100 && _mm_movemask_ps(_mm_cmpunord_ps(four, four)) != 0)
    return false;
  return (signs & kBadSign) == 0;
}

template <Shape shape>
CDMG_ALWAYS_INLINE bool exponent_record(const char *record80, float *values) {
  return record_has_shape<shape>(record80) && fields_value4<shape>(record80, values) &&
         fields_value4<shape>(field_at(record80, 4), values + 4);
}

} // namespace cdmg::exponent_shapes
#endif

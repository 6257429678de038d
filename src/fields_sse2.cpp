// The SSE2 kernel of the record reading: the two exponent shapes of USGS
// and CDMG records, and fixed point, a whole record at once. A field of any
// other spelling goes to the rule.
#include "fields.h"

#if CDMG_HAVE_SSE2
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace cdmg::sse2 {

using rule::kFieldWidth;
using rule::record_field;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

// Fixed point, the shape of most data a user holds, all eight fields at
// once: "   -0.0138", "  54.5160 ", "    123456" (implied decimals). A field
// of the shape holds blanks, a minus only directly before the first digit
// or point, digits with at most one point (not in column 0), then blanks;
// without a point the digits end the field. The rest go field by field.
//
// Trick, "the point as a zero digit": read with the point as a 0, every
// point column weighs the digits alike, A = sum of digit x 10^(9 - column).
// With the point at column p and T = 10^(10 - p), A = q T + r with q the
// whole part, and the value q + r / 10^(9 - p) is (10 A - 9 T q) / T: an
// exact integer over an exact power of ten, so one division rounds it as
// the rule does. Without a point the value is 10 A / 10^5.
//
// By field, {1 / T, T}, both negative for a minus; T = 10^5 and no whole
// part without a point. Indexed by the point's column bit (or none), plus
// 1024 for a minus; two or more point bits mark a field outside the shape
// and give NaN.
using FixedScale = std::array<double, 2>;
constexpr std::array<FixedScale, 2048> make_fixed_scales() {
  std::array<FixedScale, 2048> scales{};
  scales.fill({kNaN, kNaN});
  for (unsigned minus = 0; minus < 2; ++minus) {
    const double sign = minus != 0 ? -1.0 : 1.0;
    scales[minus << 10] = {0.0, sign * 1e5};
    for (unsigned point = 1; point < 10; ++point) {
      const double power = kExactPowers[10 - point];
      scales[minus << 10 | 1u << point] = {sign / power, sign * power};
    }
  }
  return scales;
}
alignas(16) constexpr std::array<FixedScale, 2048> kFixedScales = make_fixed_scales();

// Bit planes of four fields, column c of field f at bit 10 f + c.
constexpr std::uint64_t kFieldStarts = 0x0040100401;
constexpr std::uint64_t kFieldEnds = kFieldStarts << 9;
constexpr std::uint64_t kFirstNine = kFieldStarts * 0x1FF;
constexpr std::uint64_t kFourFields = (std::uint64_t{1} << 40) - 1;

// Column 9 of each field that has any bit set. Trick, "SWAR any-bit test":
// adding ones to columns 0 to 8 carries into column 9 when any is set.
constexpr std::uint64_t any_in_field(std::uint64_t bits) {
  return (((bits & kFirstNine) + kFirstNine) | bits) & kFieldEnds;
}

struct Planes {
  std::uint64_t blank, minus, point, valid;
};

// Each field's key into kFixedScales, ten bits apart: its point's column
// bit; a second bit (which leaves the NaN entry) where the field breaks the
// shape; and the minus flag in bit 10, which is the next field's bit 0,
// where no point may stand.
CDMG_ALWAYS_INLINE std::uint64_t fixed_keys(const Planes &p) {
  const std::uint64_t taken = ~(p.blank | p.minus) & kFourFields; // digits, points, bad bytes
  // Trick, "lowest set bit" (x & ~(x - 1), Hacker's Delight 2-1), in every
  // field at once: a stop in column 9 keeps each borrow inside its field.
  const std::uint64_t stops = taken | kFieldEnds;
  const std::uint64_t first = stops & ~(stops - kFieldStarts);
  const std::uint64_t from_first = (kFieldStarts << 10) - first; // columns from `first` on
  const std::uint64_t before_first = ((first & taken) >> 1) & ~kFieldEnds;
  // How a field breaks the shape, column by column.
  const std::uint64_t bad_byte = ~p.valid & kFourFields;
  const std::uint64_t stray_minus = p.minus & ~before_first;
  const std::uint64_t point_first = p.point & kFieldStarts;
  const std::uint64_t inner_blank = p.blank & from_first & (taken >> 1) & ~kFieldEnds;
  // Without a point the digits must end the field: implied decimals count
  // from its last column.
  const std::uint64_t short_integer =
      p.blank & kFieldEnds & any_in_field(taken) & ~any_in_field(p.point);
  const std::uint64_t broken =
      any_in_field(bad_byte | stray_minus | point_first | inner_blank | short_integer);
  const std::uint64_t point_bit = p.point & ~kFieldStarts;
  const std::uint64_t minus_flag = any_in_field(p.minus) << 1;
  return point_bit | broken | (broken >> 1) | minus_flag;
}

CDMG_ALWAYS_INLINE unsigned key_at(std::uint64_t keys, int field) {
  return static_cast<unsigned>((keys >> (10 * field)) & 0x7FE);
}

// Two fields' values from their A and keys.
CDMG_ALWAYS_INLINE __m128 fixed_pair(__m128d a, unsigned key0, unsigned key1) {
  const __m128d e0 = _mm_load_pd(kFixedScales[key0].data());
  const __m128d e1 = _mm_load_pd(kFixedScales[key1].data());
  const __m128d inverse = _mm_unpacklo_pd(e0, e1);
  const __m128d divisor = _mm_unpackhi_pd(e0, e1);
  // q = (A + 1/2) / T truncated: the half keeps the product's rounding
  // (below 10^-6 of a unit) away from the whole numbers.
  const __m128d whole =
      _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(a, _mm_set1_pd(0.5)), inverse)));
  const __m128d n = _mm_sub_pd(_mm_mul_pd(a, _mm_set1_pd(10.0)),
                               _mm_mul_pd(_mm_mul_pd(divisor, whole), _mm_set1_pd(9.0)));
  // Adding +0 turns the -0 of a zero field into +0.
  return _mm_cvtpd_ps(_mm_add_pd(_mm_div_pd(n, divisor), _mm_setzero_pd()));
}

// Each 16-bit lane's two columns as one number from 0 to 99; every byte
// below '0' (blank, point, minus) reads as 0, by a saturating subtraction.
// Trick, "two digits by one multiply" (as in simdjson's parse_eight_digits):
// a 16-bit lane times 0x0A01 has 10 x its low byte + its high byte on top.
CDMG_ALWAYS_INLINE __m128i digit_pairs(__m128i text) {
  const __m128i digits = _mm_subs_epu8(text, _mm_set1_epi8('0'));
  return _mm_srli_epi16(_mm_mullo_epi16(digits, _mm_set1_epi16(0x0A01)), 8);
}

// Columns 2 to 9 of fields f and f + 1 (eight digits each) as integers, in
// lanes 0 and 1; blanks, points and minus read as 0.
CDMG_ALWAYS_INLINE __m128i pair_columns(const char *record80, int f) {
  const __m128i text = _mm_unpacklo_epi64(
      _mm_loadl_epi64(reinterpret_cast<const __m128i *>(field_at(record80, f) + 2)),
      _mm_loadl_epi64(reinterpret_cast<const __m128i *>(field_at(record80, f + 1) + 2)));
  return _mm_madd_epi16(digit_pairs(text), _mm_set1_epi32(0x00010064)); // x 100 + next
}

// Columns 0 and 1 of every field, as 16-bit lanes, put in lane by lane
// from memory: eight small stores and a wide load would wait for the
// stores to land.
template <int... f>
CDMG_ALWAYS_INLINE __m128i first_two_columns(const char *record80,
                                             std::integer_sequence<int, f...> /*fields*/) {
  __m128i lanes = _mm_setzero_si128();
  const auto two_columns = [](const char *text) {
    std::uint16_t pair;
    std::memcpy(&pair, text, sizeof pair);
    return static_cast<int>(pair);
  };
  ((lanes = _mm_insert_epi16(lanes, two_columns(field_at(record80, f)), f)), ...);
  return lanes;
}

// The classes of 16 columns, one bit each.
struct BlockBits {
  unsigned blank, minus, point, valid;
};
CDMG_ALWAYS_INLINE BlockBits block_bits(const char *columns) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i *>(columns));
  const __m128i b = _mm_cmpeq_epi8(text, _mm_set1_epi8(' '));
  const __m128i m = _mm_cmpeq_epi8(text, _mm_set1_epi8('-'));
  const __m128i p = _mm_cmpeq_epi8(text, _mm_set1_epi8('.'));
  // Trick, "range check by one signed compare" (as for the exponent shapes):
  // adding 0x80 - '0' turns '0' to '9' into the ten lowest signed bytes.
  const __m128i d = _mm_cmplt_epi8(_mm_add_epi8(text, _mm_set1_epi8(static_cast<char>(0x80 - '0'))),
                                   _mm_set1_epi8(-118));
  return {static_cast<unsigned>(_mm_movemask_epi8(b)), static_cast<unsigned>(_mm_movemask_epi8(m)),
          static_cast<unsigned>(_mm_movemask_epi8(p)),
          static_cast<unsigned>(
              _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(b, m), _mm_or_si128(p, d))))};
}

// Columns 0 to 39 from the blocks at 0, 16 and 32; 40 to 79 from 32, 48, 64.
CDMG_ALWAYS_INLINE std::uint64_t first_half(unsigned b0, unsigned b1, unsigned b2) {
  return b0 | std::uint64_t{b1} << 16 | std::uint64_t{b2 & 0xFF} << 32;
}
CDMG_ALWAYS_INLINE std::uint64_t second_half(unsigned b2, unsigned b3, unsigned b4) {
  return b2 >> 8 | std::uint64_t{b3} << 8 | std::uint64_t{b4} << 24;
}

unsigned fixed_fields(const char *record80, float *values) {
  const BlockBits c0 = block_bits(record80);
  const BlockBits c1 = block_bits(record80 + 16);
  const BlockBits c2 = block_bits(record80 + 32);
  const BlockBits c3 = block_bits(record80 + 48);
  const BlockBits c4 = block_bits(record80 + 64);
  const Planes first = {
      first_half(c0.blank, c1.blank, c2.blank), first_half(c0.minus, c1.minus, c2.minus),
      first_half(c0.point, c1.point, c2.point), first_half(c0.valid, c1.valid, c2.valid)};
  const Planes second = {
      second_half(c2.blank, c3.blank, c4.blank), second_half(c2.minus, c3.minus, c4.minus),
      second_half(c2.point, c3.point, c4.point), second_half(c2.valid, c3.valid, c4.valid)};
  const std::uint64_t keys0 = fixed_keys(first);
  const std::uint64_t keys1 = fixed_keys(second);
  const __m128i a8 =
      _mm_madd_epi16(_mm_packs_epi32(pair_columns(record80, 0), pair_columns(record80, 2)),
                     _mm_set1_epi32(0x00012710)); // x 10000 + next
  const __m128i b8 =
      _mm_madd_epi16(_mm_packs_epi32(pair_columns(record80, 4), pair_columns(record80, 6)),
                     _mm_set1_epi32(0x00012710));
  __m128d a01 = _mm_cvtepi32_pd(a8);
  __m128d a23 = _mm_cvtepi32_pd(_mm_unpackhi_epi64(a8, a8));
  __m128d a45 = _mm_cvtepi32_pd(b8);
  __m128d a67 = _mm_cvtepi32_pd(_mm_unpackhi_epi64(b8, b8));
  // Digits in columns 0 and 1 (from 10^8 on), in their pairs.
  const auto digits = [](const Planes &p) { return p.valid & ~(p.blank | p.minus | p.point); };
  if (((digits(first) | digits(second)) & kFieldStarts * 3) != 0) {
    const __m128i pairs =
        digit_pairs(first_two_columns(record80, std::make_integer_sequence<int, 8>{}));
    const __m128i low = _mm_unpacklo_epi16(pairs, _mm_setzero_si128());
    const __m128i high = _mm_unpackhi_epi16(pairs, _mm_setzero_si128());
    const __m128d scale = _mm_set1_pd(1e8);
    a01 = _mm_add_pd(a01, _mm_mul_pd(_mm_cvtepi32_pd(low), scale));
    a23 = _mm_add_pd(a23, _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(low, low)), scale));
    a45 = _mm_add_pd(a45, _mm_mul_pd(_mm_cvtepi32_pd(high), scale));
    a67 = _mm_add_pd(a67, _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(high, high)), scale));
  }
  const __m128 v0 = _mm_movelh_ps(fixed_pair(a01, key_at(keys0, 0), key_at(keys0, 1)),
                                  fixed_pair(a23, key_at(keys0, 2), key_at(keys0, 3)));
  const __m128 v1 = _mm_movelh_ps(fixed_pair(a45, key_at(keys1, 0), key_at(keys1, 1)),
                                  fixed_pair(a67, key_at(keys1, 2), key_at(keys1, 3)));
  _mm_storeu_ps(values, v0);
  _mm_storeu_ps(values + 4, v1);
  return static_cast<unsigned>(_mm_movemask_ps(_mm_cmpunord_ps(v0, v0)) |
                               _mm_movemask_ps(_mm_cmpunord_ps(v1, v1)) << 4);
}

// Any record but one of the SMC shape, kept out of that common path: the
// CDMG shape, or fixed point and what it leaves, field by field.
[[gnu::noinline]] bool read_other_record(const char *record80, float *values) {
  if (record80[6] == 'E' && exponent_record<Shape::cdmg>(record80, values)) return true;
  for (unsigned left = fixed_fields(record80, values); left != 0; left &= left - 1) {
    const int field = std::countr_zero(left);
    if (!record_field(record80, field, values[field])) return false;
  }
  return true;
}

} // namespace

bool read_full_record_fields(const char *record80, float *values) {
  // The first field's letter column tells which shape the record likely has.
  return (record80[7] == 'E' && exponent_record<Shape::smc>(record80, values)) ||
         read_other_record(record80, values);
}

} // namespace cdmg::sse2
#endif

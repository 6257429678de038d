// The SSE2 kernels of the record reading: the two exponent shapes and
// fixed point, a whole record at once.
#include "fields.h"

#include "simd.h"
#if CDMG_HAVE_SSE2
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "field_rule.h"
#include "fields_exponent.h"
#include "record_run.h"

namespace cdmg::sse2 {

using rule::kExactPowers;
using rule::kNaN;
using rule::record_field;
using namespace exponent_shapes;

namespace {

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

std::size_t read_records(const char *text, std::size_t size, float *values, std::size_t most,
                         std::size_t &used) {
  return read_record_run<read_full_record_fields>(text, size, values, most, used);
}

} // namespace cdmg::sse2
#endif

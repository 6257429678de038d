// The AVX2 kernel of the record reading: fixed point laid out alike in
// every field, as one format writes a whole record ("%10.4f" puts the point
// in column 5 of each field: "   -0.0138", "  +43.0246", "    -.787" from
// F10.3), two fields to a register. The exponent shapes, and records of
// another layout, go the SSE2 way.
#include "fields.h"

#include "simd.h"
#if CDMG_BUILD_AVX2
#include <array>
#include <bit>
#include <cstdint>
#include <immintrin.h>

#include "field_rule.h"
#include "fields_exponent.h"
#include "record_run.h"

namespace cdmg::avx2 {

namespace {

// A field of the layout with its point in column p (1 to 9): blanks, then
// '+' or '-' or neither, then digits or none before the point; digits in
// every column after it. Its digits with the point taken out are one
// integer N below 10^9, and its value is N / 10^(9 - p): both exact
// doubles, so one division rounds it as the rule does.
//
// N comes from the digits by two multiply-adds, as the exponent shapes'
// mantissas do (pmaddubsw, then pmaddwd), and one multiply: each pair of
// columns weighs its two digits {10, 1}, or {1, 0} and {0, 1} around the
// point; each group of two pairs weighs them by the power of ten between
// them; and each group's sum is scaled by its own power of ten. Columns 10
// to 15 of a lane belong to the next field and weigh nothing.
struct Layout {
  // One 16-byte lane each, as both fields of a register take them.
  std::uint8_t biased_low[16];   // the range check of the exponent shapes,
  std::uint8_t biased_width[16]; // column by column
  std::uint8_t integer[16];      // 0xFF before the point
  std::uint8_t after_first[16];  // before the point, but column 0
  std::int8_t pair_weights[16];
  std::int16_t group_weights[8];
  std::int32_t group_scales[4];
  double divisor; // 10^(9 - p)
};

constexpr Layout make_layout(int p) {
  Layout l{};
  // The power of ten of each column's digit in N.
  const auto power = [p](int c) { return c < p ? 8 - c : 9 - c; };
  int pair_power[8] = {};
  for (int c = 0; c < 16; ++c) {
    const std::uint8_t low = c >= 10 ? 0 : c < p ? ' ' : c == p ? '.' : '0';
    const std::uint8_t width = c >= 10 ? 0xFF : c < p ? '9' - ' ' : c == p ? 0 : 9;
    l.biased_low[c] = static_cast<std::uint8_t>(low + 0x80);
    l.biased_width[c] = static_cast<std::uint8_t>(width ^ 0x80);
    l.integer[c] = c < p ? 0xFF : 0;
    l.after_first[c] = c >= 1 && c < p ? 0xFF : 0;
  }
  for (int j = 0; j < 5; ++j) {
    const int left = 2 * j;
    const int right = left + 1;
    l.pair_weights[left] = static_cast<std::int8_t>(left == p ? 0 : right == p ? 1 : 10);
    l.pair_weights[right] = static_cast<std::int8_t>(right == p ? 0 : 1);
    pair_power[j] = right == p ? power(left) : power(right);
  }
  for (int k = 0; k < 3; ++k) {
    const int first = 2 * k;
    const bool second_pair = first + 1 < 5;
    const int ratio = second_pair ? pair_power[first] - pair_power[first + 1] : 0;
    l.group_weights[first] = static_cast<std::int16_t>(rule::kExactPowers[ratio]);
    l.group_weights[first + 1] = static_cast<std::int16_t>(second_pair ? 1 : 0);
    l.group_scales[k] = static_cast<std::int32_t>(
        rule::kExactPowers[second_pair ? pair_power[first + 1] : pair_power[first]]);
  }
  l.divisor = rule::kExactPowers[9 - p];
  return l;
}

constexpr std::array<Layout, 10> make_layouts() {
  std::array<Layout, 10> layouts{};
  for (int p = 1; p < 10; ++p) layouts[p] = make_layout(p);
  return layouts;
}
alignas(16) constexpr std::array<Layout, 10> kLayouts = make_layouts();

// A table's lane in both halves of a register.
CDMG_TARGET_AVX2 inline __m256i both_lanes(const void *lane) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i *>(lane)));
}

struct TwoFields {
  std::uint32_t bad; // a byte's bit where the field breaks the layout
  __m256i groups;    // each field's three scaled groups, and a zero; negated after a minus
};

// Fields in the low and the high lane, each from its column 0.
CDMG_TARGET_AVX2 inline TwoFields two_fields(__m256i text, const Layout &l) {
  const __m256i outside = _mm256_cmpgt_epi8(_mm256_sub_epi8(text, both_lanes(l.biased_low)),
                                            both_lanes(l.biased_width));
  // Before the point only blanks, a sign and digits: min(byte, '0') - ' '
  // is 0, 11, 13 or 16 for them (the range check leaves no other byte from
  // '0' on), and a table lookup by its low four bits tells them from the
  // rest. Trick, "classes by pshufb" (as in simdjson's classification).
  const __m256i allowed_codes = _mm256_setr_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, -1, 0, 0,
                                                 -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, -1, 0, 0);
  const __m256i allowed = _mm256_shuffle_epi8(
      allowed_codes,
      _mm256_sub_epi8(_mm256_min_epu8(text, _mm256_set1_epi8('0')), _mm256_set1_epi8(' ')));
  // Their order: OR 6, then at most '6', makes a blank 0x26, either sign
  // 0x2F and a digit 0x36. A field is blanks, one sign or none, digits: a
  // column's class never falls below the one before, and a sign's, taken
  // one lower, never equals it either.
  const __m256i code =
      _mm256_min_epu8(_mm256_or_si256(text, _mm256_set1_epi8(6)), _mm256_set1_epi8('6'));
  const __m256i sign = _mm256_cmpeq_epi8(code, _mm256_set1_epi8(0x2F));
  const __m256i falls = _mm256_cmpgt_epi8(_mm256_slli_si256(code, 1), _mm256_add_epi8(code, sign));
  const __m256i bad = _mm256_or_si256(
      outside, _mm256_or_si256(_mm256_and_si256(falls, both_lanes(l.after_first)),
                               _mm256_andnot_si256(allowed, both_lanes(l.integer))));
  // A minus anywhere before the point, as a negative in each dword of its
  // lane, else 1 (psignd zeroes at 0). Trick, "sum of bytes by psadbw", then
  // the lane's two halves together.
  const __m256i minus_bytes =
      _mm256_and_si256(_mm256_cmpeq_epi8(text, _mm256_set1_epi8('-')), both_lanes(l.integer));
  const __m256i halves = _mm256_sad_epu8(minus_bytes, _mm256_setzero_si256());
  const __m256i minus = _mm256_sub_epi32(
      _mm256_set1_epi32(1),
      _mm256_shuffle_epi32(_mm256_add_epi64(halves, _mm256_shuffle_epi32(halves, 0x4E)), 0));
  // Blanks, signs and the point read as digit 0.
  const __m256i digits = _mm256_subs_epu8(text, _mm256_set1_epi8('0'));
  const __m256i pairs = _mm256_maddubs_epi16(digits, both_lanes(l.pair_weights));
  const __m256i groups = _mm256_madd_epi16(pairs, both_lanes(l.group_weights));
  return {static_cast<std::uint32_t>(_mm256_movemask_epi8(bad)),
          _mm256_sign_epi32(_mm256_mullo_epi32(groups, both_lanes(l.group_scales)), minus)};
}

// A bit for each 16-bit quarter of `columns` that has any set, in bits 0
// to 3. Trick, "SWAR any-bit test" (as for the fixed point of the SSE2
// kernel): adding to the low fifteen bits carries into the top one; then
// one multiply gathers the four top bits (every product bit distinct).
inline unsigned quarters_set(std::uint64_t columns) {
  constexpr std::uint64_t kLow = 0x7FFF7FFF7FFF7FFF;
  const std::uint64_t tops = (((columns & kLow) + kLow) | columns) & ~kLow;
  return static_cast<unsigned>(((tops >> 15) * 0x0000200040008001) >> 45) & 0xF;
}

CDMG_TARGET_AVX2 inline __m256i load_pair(const char *record80, int i) {
  const char *first = record80 + 20 * static_cast<std::ptrdiff_t>(i);
  // The last field from the record's last 16 columns, moved to column 0:
  // nothing is read past the record.
  const __m128i second =
      i < 3 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(first + 10))
            : _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(record80 + 64)), 6);
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(first))), second, 1);
}

// The eight values of a record of the layout its first field shows; the
// fields that break it in `bad` (all eight when field 0 has no point in
// columns 1 to 9).
CDMG_TARGET_AVX2 inline unsigned laid_out_fields(const char *record80, float *values) {
  const __m256i text0 = load_pair(record80, 0);
  const auto points = static_cast<std::uint32_t>(
                          _mm256_movemask_epi8(_mm256_cmpeq_epi8(text0, _mm256_set1_epi8('.')))) &
                      0x3FE;
  if (points == 0) return 0xFF;
  const Layout &l = kLayouts[static_cast<std::size_t>(std::countr_zero(points))];
  const TwoFields f01 = two_fields(text0, l);
  const TwoFields f23 = two_fields(load_pair(record80, 1), l);
  const TwoFields f45 = two_fields(load_pair(record80, 2), l);
  const TwoFields f67 = two_fields(load_pair(record80, 3), l);
  const unsigned bad = quarters_set(f01.bad | std::uint64_t{f23.bad} << 32) |
                       quarters_set(f45.bad | std::uint64_t{f67.bad} << 32) << 4;
  // Lane sums to N: [N0 N2 N4 N6 | N1 N3 N5 N7], then in field order.
  const __m256i n =
      _mm256_permutevar8x32_epi32(_mm256_hadd_epi32(_mm256_hadd_epi32(f01.groups, f23.groups),
                                                    _mm256_hadd_epi32(f45.groups, f67.groups)),
                                  _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  // A zero stays +0: the integer has no minus zero.
  const __m256d divisor = _mm256_set1_pd(l.divisor);
  const __m128 low =
      _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(n)), divisor));
  const __m128 high =
      _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(n, 1)), divisor));
  _mm256_storeu_ps(values, _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1));
  return bad;
}

// Any record but one of the SMC shape, kept out of that common path: fixed
// point of one layout, with a field or two of other spellings by the rule;
// the CDMG shape, other layouts and more such fields the SSE2 way.
[[gnu::noinline]] CDMG_TARGET_AVX2 bool read_other_record(const char *record80, float *values) {
  if (record80[6] == 'E' || record80[7] == 'E') {
    return sse2::read_full_record_fields(record80, values);
  }
  const unsigned bad = laid_out_fields(record80, values);
  if (std::popcount(bad) > 2) return sse2::read_full_record_fields(record80, values);
  for (unsigned left = bad; left != 0; left &= left - 1) {
    const int field = std::countr_zero(left);
    if (!rule::record_field(record80, field, values[field])) return false;
  }
  return true;
}

} // namespace

CDMG_TARGET_AVX2 bool read_full_record_fields(const char *record80, float *values) {
  // The first field's letter column tells which shape the record likely has.
  using exponent_shapes::Shape;
  return (record80[7] == 'E' && exponent_shapes::exponent_record<Shape::smc>(record80, values)) ||
         read_other_record(record80, values);
}

CDMG_TARGET_AVX2 std::size_t read_records(const char *text, std::size_t size, float *values,
                                          std::size_t most, std::size_t &used) {
  return read_record_run<read_full_record_fields>(text, size, values, most, used);
}

} // namespace cdmg::avx2
#endif

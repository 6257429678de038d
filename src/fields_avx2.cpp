// The AVX2 kernel of the record reading: fixed point laid out alike in
// every field, as one format writes a whole record ("%10.4f" puts the point
// in column 5 of each field: "   -0.0138", "  +43.0246", "    -.787" from
// F10.3), two fields to a register; a field of another spelling among them
// alone. The exponent shapes, and records of no one layout, go the SSE2
// way.
#include "fields.h"

#include "simd.h"
#if CDMG_BUILD_AVX2
#include <array>
#include <bit>
#include <cstdint>
#include <immintrin.h>

#include "avx2_constants.h"
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
struct alignas(32) Layout {
  // Each lane's table twice, as both fields of a register take it.
  std::uint8_t biased_low[32];   // the range check of the exponent shapes,
  std::uint8_t biased_width[32]; // column by column
  std::uint8_t integer[32];      // 0xFF before the point
  std::uint8_t after_first[32];  // before the point, but column 0
  std::int8_t pair_weights[32];
  std::int16_t group_weights[16];
  std::int32_t group_scales[8];
  double divisor; // 10^(9 - p)
};

constexpr Layout make_layout(int p) {
  Layout l{};
  // The power of ten of each column's digit in N.
  const auto power = [p](int c) { return c < p ? 8 - c : 9 - c; };
  int pair_power[8] = {};
  for (int k = 0; k < 32; ++k) {
    const int c = k % 16;
    const std::uint8_t low = c >= 10 ? 0 : c < p ? ' ' : c == p ? '.' : '0';
    const std::uint8_t width = c >= 10 ? 0xFF : c < p ? '9' - ' ' : c == p ? 0 : 9;
    l.biased_low[k] = static_cast<std::uint8_t>(low + 0x80);
    l.biased_width[k] = static_cast<std::uint8_t>(width ^ 0x80);
    l.integer[k] = c < p ? 0xFF : 0;
    l.after_first[k] = c >= 1 && c < p ? 0xFF : 0;
  }
  for (int j = 0; j < 5; ++j) {
    const int left = 2 * j;
    const int right = left + 1;
    for (int lane = 0; lane < 32; lane += 16) {
      l.pair_weights[lane + left] = static_cast<std::int8_t>(left == p ? 0 : right == p ? 1 : 10);
      l.pair_weights[lane + right] = static_cast<std::int8_t>(right == p ? 0 : 1);
    }
    pair_power[j] = right == p ? power(left) : power(right);
  }
  for (int k = 0; k < 3; ++k) {
    const int first = 2 * k;
    const bool second_pair = first + 1 < 5;
    const int ratio = second_pair ? pair_power[first] - pair_power[first + 1] : 0;
    for (int lane = 0; lane < 2; ++lane) {
      l.group_weights[8 * lane + first] = static_cast<std::int16_t>(rule::kExactPowers[ratio]);
      l.group_weights[8 * lane + first + 1] = static_cast<std::int16_t>(second_pair ? 1 : 0);
      l.group_scales[4 * lane + k] = static_cast<std::int32_t>(
          rule::kExactPowers[second_pair ? pair_power[first + 1] : pair_power[first]]);
    }
  }
  l.divisor = rule::kExactPowers[9 - p];
  return l;
}

constexpr std::array<Layout, 10> make_layouts() {
  std::array<Layout, 10> layouts{};
  for (int p = 1; p < 10; ++p) layouts[p] = make_layout(p);
  return layouts;
}
constexpr std::array<Layout, 10> kLayouts = make_layouts();

// The kernel's constants, read from memory (avx2_constants.h).
constexpr std::array<std::array<std::int8_t, 16>, 11> make_point_closings() {
  std::array<std::array<std::int8_t, 16>, 11> closings{};
  for (int p = 0; p <= 10; ++p) {
    for (int c = 0; c < 16; ++c) {
      const int from = c >= 10 ? -1 : c <= p && p < 10 ? c - 1 : c;
      closings[p][c] = static_cast<std::int8_t>(from < 0 ? -128 : from);
    }
  }
  return closings;
}

struct alignas(32) Constants {
  // Before the point only blanks, a sign and digits: min(byte, '0') - ' '
  // is 0, 11, 13 or 16 for them (the range check leaves no other byte from
  // '0' on), and a table lookup by its low four bits tells them from the
  // rest. Trick, "classes by pshufb" (as in simdjson's classification).
  std::array<std::int8_t, 32> allowed_codes = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, -1, 0, 0,
                                               -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, -1, 0, 0};
  std::array<char, 32> zero = splat('0');
  std::array<char, 32> blank = splat(' ');
  std::array<char, 32> minus = splat('-');
  std::array<char, 32> point = splat('.');
  std::array<char, 32> six = splat('\x06');
  std::array<char, 32> digit_code = splat('6');
  std::array<char, 32> sign_code = splat('\x2F');
  std::array<char, 32> lower_case = splat('\x20');
  std::array<char, 32> letter_e = splat('e');
  std::array<char, 32> letter_d = splat('d');
  std::array<char, 32> plus = splat('+');
  std::array<char, 32> nine = splat('\x09');
  // A column mask's bits spread to bytes: bytes 0 to 7 take bits 0 to 7 of
  // the mask's first byte, bytes 8 to 15 those of its second.
  std::array<char, 16> spread = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};
  std::array<unsigned char, 16> bit_of_column = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
  // The ten columns' digits to one integer: pairs, then groups of four
  // columns, the last group holding columns 8 and 9 alone.
  std::array<std::int8_t, 16> pair_weights = {10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 0, 0, 0, 0};
  std::array<std::int16_t, 8> group_weights = {100, 1, 100, 1, 1, 0, 0, 0};
  std::array<std::int32_t, 8> field_order = {0, 4, 1, 5, 2, 6, 3, 7};
  std::array<std::int32_t, 8> minus_to_sign = splat(std::int32_t{-2});
  // By the point's column (10: none), the shuffle that moves each column
  // before it one to the right, over the point, and clears the rest.
  std::array<std::array<std::int8_t, 16>, 11> close_point = make_point_closings();
};
constexpr Constants kConstants{};

inline const Constants &constants() {
  return in_memory(kConstants);
}

struct TwoFields {
  __m256i bad;    // 0xFF in each column that breaks the layout
  __m256i minus;  // 0xFF at a minus before the point
  __m256i groups; // each field's three scaled groups, and a zero
};

// Fields in the low and the high lane, each from its column 0.
CDMG_TARGET_AVX2 inline TwoFields two_fields(__m256i text, const Layout &l) {
  const Constants &k = constants();
  const __m256i outside =
      _mm256_cmpgt_epi8(_mm256_sub_epi8(text, vector(l.biased_low)), vector(l.biased_width));
  const __m256i allowed =
      _mm256_shuffle_epi8(vector(k.allowed_codes),
                          _mm256_sub_epi8(_mm256_min_epu8(text, vector(k.zero)), vector(k.blank)));
  // Their order: OR 6, then at most '6', makes a blank 0x26, either sign
  // 0x2F and a digit 0x36. A field is blanks, one sign or none, digits: a
  // column's class never falls below the one before, and a sign's, taken
  // one lower, never equals it either.
  const __m256i code = _mm256_min_epu8(_mm256_or_si256(text, vector(k.six)), vector(k.digit_code));
  const __m256i sign = _mm256_cmpeq_epi8(code, vector(k.sign_code));
  const __m256i falls = _mm256_cmpgt_epi8(_mm256_slli_si256(code, 1), _mm256_add_epi8(code, sign));
  const __m256i integer = vector(l.integer);
  const __m256i bad =
      _mm256_or_si256(outside, _mm256_or_si256(_mm256_and_si256(falls, vector(l.after_first)),
                                               _mm256_andnot_si256(allowed, integer)));
  const __m256i minus = _mm256_and_si256(_mm256_cmpeq_epi8(text, vector(k.minus)), integer);
  // Blanks, signs and the point read as digit 0.
  const __m256i digits = _mm256_subs_epu8(text, vector(k.zero));
  const __m256i pairs = _mm256_maddubs_epi16(digits, vector(l.pair_weights));
  const __m256i groups = _mm256_madd_epi16(pairs, vector(l.group_weights));
  return {bad, minus, _mm256_mullo_epi32(groups, vector(l.group_scales))};
}

// Two registers' fields folded into one, field by field: the bad columns
// and the minus signs by packing, the groups by lane sums. Twice over, each
// field's 16 columns of the four registers become one dword, nonzero where
// any column is: [f0 f2 f4 f6 | f1 f3 f5 f7], and its groups one sum. Trick,
// "nonzero survives signed saturation": packing words to bytes keeps a
// nonzero word nonzero.
CDMG_TARGET_AVX2 inline TwoFields fold(const TwoFields &a, const TwoFields &b) {
  return {_mm256_packs_epi16(a.bad, b.bad), _mm256_packs_epi16(a.minus, b.minus),
          _mm256_hadd_epi32(a.groups, b.groups)};
}

// Field `field` (0 to 7) of the record in bytes 0 to 9. The last comes
// from the record's last 16 columns, moved to column 0: nothing is read
// past the record.
CDMG_TARGET_AVX2 inline __m128i load_field(const char *record80, int field) {
  return field < 7
             ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(
                   record80 + 10 * static_cast<std::ptrdiff_t>(field)))
             : _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(record80 + 64)), 6);
}

// Fields 2i and 2i + 1, in the low and the high lane.
CDMG_TARGET_AVX2 inline __m256i load_pair(const char *record80, int i) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(load_field(record80, 2 * i)),
                                 load_field(record80, 2 * i + 1), 1);
}

// The column of a field's first point in columns 1 to 9 (bits 0 to 15 of
// `points`), or 16 where it has none there.
inline int point_column(std::uint32_t points) {
  return std::countr_zero((points & 0x3FE) | 0x10000);
}

// The eight values of a record of the layout that two of its first three
// fields show (field 0's where no two agree); the fields that break it in
// `bad` (all eight when that field has no point in columns 1 to 9).
CDMG_ALWAYS_INLINE CDMG_TARGET_AVX2 unsigned laid_out_fields(const char *record80, float *values) {
  const Constants &k = constants();
  const __m256i text01 = load_pair(record80, 0);
  const __m256i text23 = load_pair(record80, 1);
  const auto points01 =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(text01, vector(k.point))));
  const auto points23 =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(text23, vector(k.point))));
  const int p0 = point_column(points01);
  const int p1 = point_column(points01 >> 16);
  const int p = p0 == p1 || p0 == point_column(points23) ? p0 : p1;
  if (p > 9) return 0xFF;
  const Layout &l = kLayouts[static_cast<std::size_t>(p)];
  // The first four fields folded before the last four are read: fewer
  // registers live at once.
  const TwoFields first_four = fold(two_fields(text01, l), two_fields(text23, l));
  const TwoFields last_four =
      fold(two_fields(load_pair(record80, 2), l), two_fields(load_pair(record80, 3), l));
  const TwoFields all = fold(first_four, last_four);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i fine =
      _mm256_permutevar8x32_epi32(_mm256_cmpeq_epi32(all.bad, zero), vector(k.field_order));
  const unsigned bad = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(fine))) & 0xFF;
  // Lane sums to N: [N0 N2 N4 N6 | N1 N3 N5 N7]. psignd negates N by a
  // negative and keeps it by a positive: -2 for a minus, 1 for none (a
  // zero stays +0: the integer has no minus zero). Then in field order.
  const __m256i plus = _mm256_cmpeq_epi32(all.minus, zero);
  const __m256i n = _mm256_permutevar8x32_epi32(
      _mm256_sign_epi32(all.groups, _mm256_xor_si256(plus, vector(k.minus_to_sign))),
      vector(k.field_order));
  const __m256d divisor = _mm256_set1_pd(l.divisor);
  const __m128 low =
      _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(n)), divisor));
  const __m128 high =
      _mm256_cvtpd_ps(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(n, 1)), divisor));
  _mm256_storeu_ps(values, _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1));
  return bad;
}

template <typename T> CDMG_TARGET_AVX2 inline __m128i vector128(const T &table) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(&table));
}

// A bit per column of the field's ten where `text` equals `bytes`.
CDMG_TARGET_AVX2 inline unsigned columns_where(__m128i text, const std::array<char, 32> &bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(text, vector128(bytes)))) & 0x3FF;
}

// A field of another spelling than the record's layout, in bytes 0 to 9 of
// `text`: [sign] digits [. digits] [(letter [sign] | sign) digits], blanks
// before and after ("-1.9160E+0", " 3.9380+01", "-0.0138   ", "   -138000").
// True and its value; false leaves the field to the rule (a blank inside,
// a comma, no digits, ...).
CDMG_TARGET_AVX2 inline bool spelled_field(__m128i text, float &value) {
  const Constants &k = constants();
  const unsigned blank = columns_where(text, k.blank);
  const unsigned point = columns_where(text, k.point);
  const unsigned minus = columns_where(text, k.minus);
  const unsigned sign = minus | columns_where(text, k.plus);
  // OR 0x20 makes 'E' and 'e' one byte, 'D' and 'd' another.
  const __m128i lower = _mm_or_si128(text, vector128(k.lower_case));
  const unsigned letter = columns_where(lower, k.letter_e) | columns_where(lower, k.letter_d);
  const __m128i offset = _mm_sub_epi8(text, vector128(k.zero));
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(offset, vector128(k.nine)), offset);
  const unsigned digit = static_cast<unsigned>(_mm_movemask_epi8(is_digit)) & 0x3FF;
  const unsigned body = 0x3FF & ~blank;
  if ((blank | point | sign | letter | digit) != 0x3FF || body == 0) return false;
  const int first = std::countr_zero(body);
  const unsigned end = 1u << (32 - std::countl_zero(body)); // the column after the last
  if ((blank & (end - (1u << first))) != 0) return false;   // a blank inside
  const unsigned lead = sign & (1u << first);
  const unsigned exponent_sign = sign & ~lead;
  // Where the exponent starts: its letter, or its (first) sign without one;
  // the column after the field where it has none.
  const unsigned exponent_start = letter != 0          ? letter
                                  : exponent_sign != 0 ? exponent_sign & (0u - exponent_sign)
                                                       : end;
  const unsigned mantissa = exponent_start - 1; // the columns before it
  if ((letter & (letter - 1)) != 0 || (point & (point - 1)) != 0 ||
      (exponent_sign & ~(letter != 0 ? letter << 1 : exponent_start)) != 0 ||
      (point & ~mantissa) != 0)
    return false;
  const unsigned mantissa_digits = digit & mantissa;
  const unsigned exponent_digits = digit & ~mantissa;
  if (mantissa_digits == 0 || (exponent_start != end && exponent_digits == 0)) return false;
  // The mantissa's digits alone, those before the point moved over it: one
  // integer, as the layouts' fields are summed.
  const __m128i keep = _mm_cmpeq_epi8(
      _mm_and_si128(_mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(mantissa_digits)),
                                     vector128(k.spread)),
                    vector128(k.bit_of_column)),
      vector128(k.bit_of_column));
  const int point_at = point != 0 ? std::countr_zero(point) : 10;
  const __m128i closed =
      _mm_shuffle_epi8(_mm_and_si128(offset, keep), vector128(k.close_point[point_at]));
  const __m128i groups = _mm_madd_epi16(_mm_maddubs_epi16(closed, vector128(k.pair_weights)),
                                        vector128(k.group_weights));
  const auto digits = static_cast<std::uint64_t>(_mm_cvtsi128_si32(groups)) * 1000000 +
                      static_cast<std::uint64_t>(_mm_extract_epi32(groups, 1)) * 100 +
                      static_cast<std::uint64_t>(_mm_extract_epi32(groups, 2));
  alignas(16) unsigned char columns[16];
  _mm_store_si128(reinterpret_cast<__m128i *>(columns), offset);
  std::int64_t exponent = 0;
  for (unsigned left = exponent_digits; left != 0; left &= left - 1)
    exponent = exponent * 10 + columns[std::countr_zero(left)];
  if ((exponent_sign & minus) != 0) exponent = -exponent;
  // The digits weigh 10^(9 - column); a point at p puts the last before it
  // at 10^0, and without one the last digit's column L does, less the four
  // implied decimals.
  exponent += point != 0 ? point_at - 9
                         : 31 - std::countl_zero(mantissa_digits) - 9 - rule::kImpliedDecimals;
  value = digits == 0 ? 0.0f : rule::digits_to_float(digits, exponent, (lead & minus) != 0);
  return true;
}

// Field `field` (0 to 7) of the record, as spelled_field reads it or else
// by the rule, when it takes its ten columns.
CDMG_TARGET_AVX2 inline bool other_field(const char *record80, int field, float &value) {
  return spelled_field(load_field(record80, field), value) ||
         rule::record_field(record80, field, value);
}

// The fields of a laid-out record that break its layout (`bad`, a bit a
// field): one by one; all eight, the SSE2 way. Out of line, so that a
// record without them saves no registers.
[[gnu::noinline]] CDMG_TARGET_AVX2 bool read_other_fields(const char *record80, float *values,
                                                          unsigned bad) {
  if (bad == 0xFF) return sse2::read_full_record_fields(record80, values);
  for (unsigned left = bad; left != 0; left &= left - 1) {
    const int field = std::countr_zero(left);
    if (!other_field(record80, field, values[field])) return false;
  }
  return true;
}

// Any record but one of the SMC shape, kept out of that common path: fixed
// point of one layout, with the fields of other spellings one by one; the
// CDMG shape, and records of no one layout, the SSE2 way.
[[gnu::noinline]] CDMG_TARGET_AVX2 bool read_other_record(const char *record80, float *values) {
  if (record80[6] == 'E') return sse2::read_full_record_fields(record80, values);
  const unsigned bad = laid_out_fields(record80, values);
  return bad == 0 || read_other_fields(record80, values, bad);
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

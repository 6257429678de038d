#include "fields.h"
#include "simd.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace cdmg {

TextField read_text_field(const RecordView &record, char *out) {
  if (record.length < kTextWidth && !record.line_feed) return TextField::end_of_file;
  const std::size_t taken = record.length < kTextWidth ? record.length : kTextWidth;
  std::memcpy(out, record.chars, taken);
  std::memset(out + taken, ' ', kTextWidth - taken);
  return TextField::read;
}

namespace {

constexpr int kFieldWidth = 10;
constexpr int kImpliedDecimals = 4;

enum CharClass : std::uint8_t { kOther, kDigit, kBlank, kSign, kPoint, kExpLetter, kComma };

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> c{};
  for (int d = '0'; d <= '9'; ++d) c[static_cast<std::size_t>(d)] = kDigit;
  c[' '] = kBlank;
  c['+'] = kSign;
  c['-'] = kSign;
  c['.'] = kPoint;
  c['E'] = kExpLetter;
  c['e'] = kExpLetter;
  c['D'] = kExpLetter;
  c['d'] = kExpLetter;
  c[','] = kComma;
  return c;
}
constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

// Where the field's text stands: the parts of [sign] digits [. digits] [exponent].
enum class Part { start, mantissa, fraction, exp_letter, exp_sign, exp_digits };

constexpr std::array<double, 23> kExactPowers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Exponents so large that the result is an infinity or zero for any 10-digit
// mantissa; clamping keeps the text for the library short.
constexpr std::int64_t kExponentClamp = 400;

// Values past the exact range: the library's correctly rounded conversion.
double decimal_to_double_by_library(std::uint64_t digits, std::int64_t exponent) {
  if (exponent > kExponentClamp) exponent = kExponentClamp;
  if (exponent < -kExponentClamp) exponent = -kExponentClamp;
  char text[48];
  // Twenty characters take any 64-bit mantissa, the rest the exponent.
  char *const mark = std::to_chars(text, text + 20, digits).ptr;
  *mark = 'e';
  const auto r = std::to_chars(mark + 1, text + sizeof text, exponent);
  double wide = 0.0;
  const auto parsed = std::from_chars(text, r.ptr, wide);
  if (parsed.ec == std::errc::result_out_of_range) {
    wide = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return wide;
}

} // namespace

float decimal_to_float(std::uint64_t digits, std::int64_t exponent, bool negative) {
  double wide;
  if (digits < (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
    // Both operands are exact doubles, so the one rounding of the product or
    // quotient gives the nearest double.
    const double d = static_cast<double>(digits);
    wide = exponent >= 0 ? d * kExactPowers[static_cast<std::size_t>(exponent)]
                         : d / kExactPowers[static_cast<std::size_t>(-exponent)];
  } else {
    wide = decimal_to_double_by_library(digits, exponent);
  }
  const auto single = static_cast<float>(wide);
  return negative ? -single : single;
}

namespace {

bool is_digit(unsigned char c) {
  return static_cast<unsigned>(c - '0') < 10;
}

// The common shapes of a whole ten-column field: blanks, an optional sign,
// digits with at most one point, then an optional exponent of a letter
// and/or a sign and at least one digit. Anything else (commas, a field cut
// short, bad characters) is left to the full rule; false means "not handled".
bool read_plain_field(const unsigned char *field, RealField &result) {
  // A copy with a stop byte after the ten columns frees the loops from
  // counting: the NUL is neither digit, blank, point, sign nor letter.
  unsigned char p[kFieldWidth + 1];
  std::memcpy(p, field, kFieldWidth);
  p[kFieldWidth] = '\0';
  int k = 0;
  while (p[k] == ' ') ++k;
  bool negative = false;
  if (p[k] == '-' || p[k] == '+') negative = p[k++] == '-';
  std::uint64_t digits = 0;
  while (is_digit(p[k])) digits = digits * 10 + (p[k++] - '0');
  bool has_point = false;
  int fraction_digits = 0;
  if (p[k] == '.') {
    has_point = true;
    const int first = ++k;
    while (is_digit(p[k])) digits = digits * 10 + (p[k++] - '0');
    fraction_digits = k - first;
  }
  std::int64_t exponent = 0;
  if (kClasses[p[k]] == kExpLetter || p[k] == '-' || p[k] == '+') {
    if (kClasses[p[k]] == kExpLetter) ++k;
    bool exponent_negative = false;
    if (p[k] == '-' || p[k] == '+') exponent_negative = p[k++] == '-';
    const int first = k;
    while (is_digit(p[k])) exponent = exponent * 10 + (p[k++] - '0');
    if (k == first) return false; // blanks inside, or no digit: the full rule decides
    if (exponent_negative) exponent = -exponent;
  }
  // Only trailing blanks may follow; blanks inside the number go to the full rule.
  while (p[k] == ' ') ++k;
  if (k != kFieldWidth) return false;
  if (digits == 0) {
    result = {FieldStatus::value, 0.0f};
  } else {
    const std::int64_t scale = exponent - (has_point ? fraction_digits : kImpliedDecimals);
    result = {FieldStatus::value, decimal_to_float(digits, scale, negative)};
  }
  return true;
}

// The exponent form of SMC files, "-1.2345E-1": a blank or sign, a digit,
// the point, four digits, E, a sign (or blank) and one digit.
//
// The shape is checked per column, as a range of allowed bytes: digits
// '0'-'9', the point and the letter themselves, and any byte where a sign
// stands (the signs are looked up with the value). A byte is in its range
// when byte - low, taken modulo 256 and with its top bit flipped, is not
// above the biased width as a signed byte.
struct ColumnRanges {
  std::array<std::uint8_t, 80> biased_low{};
  std::array<std::uint8_t, 80> biased_width{};
};
constexpr ColumnRanges make_exponent_ranges() {
  ColumnRanges r;
  for (std::size_t column = 0; column < 80; ++column) {
    std::uint8_t low = 0;
    std::uint8_t width = 0xFF;
    switch (column % kFieldWidth) {
    case 2:
      low = '.';
      width = 0;
      break;
    case 7:
      low = 'E';
      width = 0;
      break;
    case 0:
    case 8:
      break;
    default:
      low = '0';
      width = 9;
      break;
    }
    r.biased_low[column] = static_cast<std::uint8_t>(low + 0x80);
    r.biased_width[column] = static_cast<std::uint8_t>(width ^ 0x80);
  }
  return r;
}
alignas(16) constexpr ColumnRanges kExponentRanges = make_exponent_ranges();

bool in_ranges(const char *text, std::size_t column) {
  const auto byte = static_cast<std::uint8_t>(text[column]);
  const auto shifted = static_cast<std::int8_t>(
      static_cast<std::uint8_t>(byte - kExponentRanges.biased_low[column]));
  return shifted <= static_cast<std::int8_t>(kExponentRanges.biased_width[column]);
}

bool record_has_exponent_shape(const char *record80) {
#if CDMG_HAVE_SSE2
  // Five blocks of 16 columns; any byte out of its range marks the record.
  __m128i outside = _mm_setzero_si128();
  for (std::size_t block = 0; block < 80; block += 16) {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i *>(record80 + block));
    const __m128i low = _mm_load_si128(
        reinterpret_cast<const __m128i *>(kExponentRanges.biased_low.data() + block));
    const __m128i width = _mm_load_si128(
        reinterpret_cast<const __m128i *>(kExponentRanges.biased_width.data() + block));
    outside = _mm_or_si128(outside, _mm_cmpgt_epi8(_mm_sub_epi8(text, low), width));
  }
  return _mm_movemask_epi8(outside) == 0;
#else
  for (std::size_t column = 0; column < 80; ++column) {
    if (!in_ranges(record80, column)) return false;
  }
  return true;
#endif
}

bool field_has_exponent_shape(const char *field) {
  for (std::size_t column = 0; column < kFieldWidth; ++column) {
    if (!in_ranges(field, column)) return false;
  }
  return true;
}

// A field m x 10^s of the exponent shape (m below 10^5, s from -13 to 5)
// is read as (m x 10^5) / 10^(5-s): both operands are exact doubles (10^k
// is exact up to k = 22), so the one rounding of the division gives the
// nearest double, as the full rule does. The divisor carries the sign;
// adding +0 then turns the -0 of a zero field into the +0 it reads as.
//
// The divisor is found at sign offset + exponent-sign offset + the
// exponent digit's byte; a sign column holding anything but a blank or a
// sign adds kBadSign, which the caller checks.
constexpr unsigned kMinusOffset = 64;
constexpr unsigned kNegativeExponentOffset = 128;
constexpr unsigned kBadSign = 1; // no offset is odd
constexpr std::array<std::uint8_t, 256> make_sign_offsets(unsigned minus_offset) {
  std::array<std::uint8_t, 256> offsets{};
  for (auto &v : offsets) v = kBadSign;
  offsets[' '] = 0; // blanks are skipped, so a blank there is no sign at all
  offsets['+'] = 0;
  offsets['-'] = static_cast<std::uint8_t>(minus_offset);
  return offsets;
}
constexpr std::array<std::uint8_t, 256> kMantissaSignOffset = make_sign_offsets(kMinusOffset);
constexpr std::array<std::uint8_t, 256> kExponentSignOffset =
    make_sign_offsets(kNegativeExponentOffset);

constexpr double kMantissaScale = 1e5;
constexpr std::array<double, 256> make_signed_divisors() {
  std::array<double, 256> divisors{};
  for (unsigned minus = 0; minus < 2; ++minus) {
    for (unsigned negative_exponent = 0; negative_exponent < 2; ++negative_exponent) {
      for (unsigned digit = 0; digit < 10; ++digit) {
        const unsigned power = negative_exponent ? 9 + digit : 9 - digit; // 5 - s
        double divisor = 1;
        for (unsigned k = 0; k < power; ++k) divisor *= 10;
        divisors[minus * kMinusOffset + negative_exponent * kNegativeExponentOffset + '0' + digit] =
            minus ? -divisor : divisor;
      }
    }
  }
  return divisors;
}
constexpr std::array<double, 256> kSignedDivisors = make_signed_divisors();

// The signed divisor of a field of the exponent shape; `signs` collects
// kBadSign when a sign column holds something else.
CDMG_ALWAYS_INLINE double exponent_field_divisor(const char *field, unsigned &signs) {
  const unsigned sign = kMantissaSignOffset[static_cast<std::uint8_t>(field[0])];
  const unsigned exponent_sign = kExponentSignOffset[static_cast<std::uint8_t>(field[8])];
  signs |= sign | exponent_sign;
  // At most 64 + 128 + '9' with good signs, 1 + 1 + 255 with bad ones.
  return kSignedDivisors[(sign + exponent_sign + static_cast<std::uint8_t>(field[9])) & 0xFF];
}

// The value of one field of the exponent shape.
float exponent_field_value(const char *field, unsigned &signs) {
  static_assert(std::endian::native == std::endian::little);
  std::uint64_t head; // columns 1 to 8, column 1 in the lowest byte
  std::memcpy(&head, field, sizeof head);
  // Columns 4 to 7 at once: digit pairs, then the two pairs.
  std::uint64_t four = ((head >> 24) & 0xFFFF'FFFF) - 0x3030'3030;
  four = (four * 10 + (four >> 8)) & 0x00FF'00FF;
  four = (four * 100 + (four >> 16)) & 0xFFFF;
  const std::uint64_t mantissa = (((head >> 8) & 0xFF) - '0') * 10000 + four;
  const double divisor = exponent_field_divisor(field, signs);
  return static_cast<float>(static_cast<double>(mantissa) * kMantissaScale / divisor + 0.0);
}

#if CDMG_HAVE_SSE2
// Four fields of the exponent shape from `fields` on, into values[0..3].
CDMG_ALWAYS_INLINE unsigned exponent_fields_value4(const char *fields, float *values) {
  unsigned signs = 0;
  // Columns 1 to 8 of each field as 16-bit lanes, weighted so that the
  // sums are the mantissas, each plus '0' times 11111: the weights of the
  // sign, point and letter columns are 0.
  const __m128i weights = _mm_setr_epi16(0, 10000, 0, 1000, 100, 10, 1, 0);
  const __m128i zero = _mm_setzero_si128();
  const auto columns = [fields](int field) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(fields + field * kFieldWidth));
  };
  const __m128i fields01 = _mm_unpacklo_epi64(columns(0), columns(1));
  const __m128i fields23 = _mm_unpacklo_epi64(columns(2), columns(3));
  const __m128i p0 = _mm_madd_epi16(_mm_unpacklo_epi8(fields01, zero), weights);
  const __m128i p1 = _mm_madd_epi16(_mm_unpackhi_epi8(fields01, zero), weights);
  const __m128i p2 = _mm_madd_epi16(_mm_unpacklo_epi8(fields23, zero), weights);
  const __m128i p3 = _mm_madd_epi16(_mm_unpackhi_epi8(fields23, zero), weights);
  // Lane sums of p0 to p3: transposed, then added.
  const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(p0, p1), _mm_unpackhi_epi32(p0, p1));
  const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(p2, p3), _mm_unpackhi_epi32(p2, p3));
  const __m128i sums = _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
  const __m128i mantissas = _mm_sub_epi32(sums, _mm_set1_epi32('0' * 11111));
  const __m128d scale = _mm_set1_pd(kMantissaScale);
  const __m128d divisors01 = _mm_set_pd(exponent_field_divisor(fields + kFieldWidth, signs),
                                        exponent_field_divisor(fields, signs));
  const __m128d divisors23 = _mm_set_pd(exponent_field_divisor(fields + 3 * kFieldWidth, signs),
                                        exponent_field_divisor(fields + 2 * kFieldWidth, signs));
  const __m128d plus_zero = _mm_setzero_pd();
  const __m128d wide01 =
      _mm_add_pd(_mm_div_pd(_mm_mul_pd(_mm_cvtepi32_pd(mantissas), scale), divisors01), plus_zero);
  const __m128d wide23 = _mm_add_pd(
      _mm_div_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(mantissas, mantissas)), scale),
                 divisors23),
      plus_zero);
  _mm_storeu_ps(values, _mm_movelh_ps(_mm_cvtpd_ps(wide01), _mm_cvtpd_ps(wide23)));
  return signs;
}
#endif

} // namespace

bool read_full_record_fields(const char *record80, float *values) {
  unsigned signs = 0;
  if (record_has_exponent_shape(record80)) {
#if CDMG_HAVE_SSE2
    signs = exponent_fields_value4(record80, values) |
            exponent_fields_value4(record80 + 4 * kFieldWidth, values + 4);
#else
    for (int field = 0; field < 8; ++field) {
      values[field] = exponent_field_value(record80 + field * kFieldWidth, signs);
    }
#endif
    if ((signs & kBadSign) == 0) return true;
  }
  // Mixed shapes: field by field.
  for (int field = 0; field < 8; ++field) {
    const char *text = record80 + field * kFieldWidth;
    if (field_has_exponent_shape(text)) {
      signs = 0;
      values[field] = exponent_field_value(text, signs);
      if ((signs & kBadSign) == 0) continue;
    }
    RealField plain;
    if (!read_plain_field(reinterpret_cast<const unsigned char *>(text), plain)) return false;
    values[field] = plain.value;
  }
  return true;
}

RealField read_real_field(const RecordView &record, std::size_t &pos) {
  if (pos + kFieldWidth <= record.length) {
    RealField result;
    if (read_plain_field(reinterpret_cast<const unsigned char *>(record.chars + pos), result)) {
      pos += kFieldWidth;
      return result;
    }
  }
  return read_real_field_by_rule(record, pos);
}

RealField read_real_field_by_rule(const RecordView &record, std::size_t &pos) {
  Part part = Part::start;
  bool negative = false;
  bool exponent_negative = false;
  bool has_point = false;
  std::uint64_t digits = 0;
  int fraction_digits = 0;
  std::int64_t exponent = 0;
  const std::size_t limit = pos + kFieldWidth;
  for (;;) {
    if (pos == limit) break;
    if (pos == record.length) {
      if (!record.line_feed) return {FieldStatus::end_of_file, 0.0f};
      break; // the line feed ends this field and, untaken, every later one
    }
    const auto ch = static_cast<unsigned char>(record.chars[pos++]);
    const std::uint8_t cls = kClasses[ch];
    if (cls == kBlank) continue;
    if (cls == kComma) {
      if (part == Part::exp_letter || part == Part::exp_sign)
        return {FieldStatus::bad_character, 0.0f};
      break;
    }
    switch (part) {
    case Part::start:
    case Part::mantissa:
    case Part::fraction:
      if (cls == kDigit) {
        // Ten columns hold at most ten digits, so this cannot overflow.
        digits = digits * 10 + (ch - '0');
        if (part == Part::fraction)
          ++fraction_digits;
        else
          part = Part::mantissa;
      } else if (cls == kSign) {
        if (part == Part::start) {
          negative = ch == '-';
          part = Part::mantissa;
        } else {
          exponent_negative = ch == '-';
          part = Part::exp_sign;
        }
      } else if (cls == kPoint && part != Part::fraction) {
        has_point = true;
        part = Part::fraction;
      } else if (cls == kExpLetter) {
        part = Part::exp_letter;
      } else {
        return {FieldStatus::bad_character, 0.0f};
      }
      break;
    case Part::exp_letter:
      if (cls == kSign) {
        exponent_negative = ch == '-';
        part = Part::exp_sign;
        break;
      }
      [[fallthrough]];
    case Part::exp_sign:
    case Part::exp_digits:
      if (cls != kDigit) return {FieldStatus::bad_character, 0.0f};
      exponent = exponent * 10 + (ch - '0');
      part = Part::exp_digits;
      break;
    }
  }
  if (part == Part::exp_letter || part == Part::exp_sign) return {FieldStatus::bad_character, 0.0f};
  if (digits == 0) return {FieldStatus::value, 0.0f};
  if (exponent_negative) exponent = -exponent;
  const std::int64_t scale = exponent - (has_point ? fraction_digits : kImpliedDecimals);
  return {FieldStatus::value, decimal_to_float(digits, scale, negative)};
}

} // namespace cdmg

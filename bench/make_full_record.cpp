// Writes a full-capacity record (4125 data records of eight ten-column fields
// per component, CR LF line ends) into a folder, for timing the conversion.
// The mix of field shapes:
//   exponent  (default) every field as USGS files write them, "-1.9160E+0";
//   fixed     nine fields in ten fixed point with four decimals, "   -0.0138",
//             the rest other spellings a user may hold, field by field;
//   large     every value from 1000 to 99999 in magnitude, "%10.3f".
// Usage: make_full_record [folder] [exponent|fixed|large]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kRoom = 32; // room for any spelling; one longer than ten is refused

// One exponent field in ten columns: a digit, four decimals, a letter and
// the exponent's sign and one digit ("-1.9160E+0", fields touching when
// negative), or with no letter ('\0') and two exponent digits (" 3.9380+01").
void exponent_field(char *out, double a, char letter) {
  int exponent = a == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(a))));
  double mantissa = a / std::pow(10.0, exponent);
  if (std::fabs(mantissa) >= 9.99995) {
    mantissa /= 10.0;
    ++exponent;
  }
  if (letter == '\0') {
    std::snprintf(out, kRoom, "%7.4f%+03d", mantissa, exponent);
  } else {
    std::snprintf(out, kRoom, "%7.4f%c%+d", mantissa, letter, exponent);
  }
}

// A small deterministic generator: every run writes the same files.
std::uint32_t draw(std::uint64_t &state, std::uint32_t bound) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<std::uint32_t>(state % bound);
}

// The other spellings of the fixed mix, one in ten fields: exponent forms
// with E, e, D or no letter; an implied point; left-justified, with a plus,
// two decimals.
void other_field(char *out, double a, std::uint64_t &state) {
  static const char *const kFixed[] = {"%-10.4f", "%+10.4f", "%10.2f"};
  const std::uint32_t kind = draw(state, 8);
  if (kind < 4) {
    exponent_field(out, a, "EeD"[kind]); // index 3: the string's '\0'
  } else if (kind == 4) {
    std::snprintf(out, kRoom, "%10lld", std::llround(a * 1e4));
  } else {
    std::snprintf(out, kRoom, kFixed[kind - 5], a);
  }
}

} // namespace

int main(int argc, char **argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const std::string mix = argc > 2 ? argv[2] : "exponent";
  if (mix != "exponent" && mix != "fixed" && mix != "large") {
    std::fprintf(stderr, "make_full_record: unknown mix %s (exponent, fixed or large)\n",
                 mix.c_str());
    return 2;
  }
  const char *names[] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"};
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (int c = 0; c < 3; ++c) {
    std::FILE *out = std::fopen((folder + "/" + names[c]).c_str(), "wb");
    if (!out) return 1;
    for (int n = 1; n <= 32; ++n) std::fprintf(out, "header record %d of component %d\r\n", n, c);
    for (int r = 0; r < 4125; ++r) {
      for (int f = 0; f < 8; ++f) {
        const double t = (8 * r + f) * 0.01;
        const double a = 300.0 * std::sin(t * (2.0 + c)) * std::exp(-t / 90.0);
        char field[kRoom];
        if (mix == "exponent") {
          exponent_field(field, a, 'E');
        } else if (mix == "large") {
          std::snprintf(field, kRoom, "%10.3f", std::copysign(1000.0 + 330.0 * std::fabs(a), a));
        } else if (draw(state, 10) != 0) {
          std::snprintf(field, kRoom, "%10.4f", a / 5.0); // "   -0.0138", "   54.5160"
        } else {
          other_field(field, a / 5.0, state);
        }
        if (std::strlen(field) != 10) return 3; // a spelling that does not fit
        std::fputs(field, out);
      }
      std::fputs("\r\n", out);
    }
    std::fclose(out);
  }
  return 0;
}

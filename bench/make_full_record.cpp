// Writes a full-capacity record (4125 data records of eight E10.4 fields per
// component, CR LF line ends) into a folder, for timing the conversion.
#include <cmath>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const char *names[] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"};
  for (int c = 0; c < 3; ++c) {
    std::FILE *out = std::fopen((folder + "/" + names[c]).c_str(), "wb");
    if (!out) return 1;
    for (int n = 1; n <= 32; ++n) std::fprintf(out, "header record %d of component %d\r\n", n, c);
    for (int r = 0; r < 4125; ++r) {
      for (int f = 0; f < 8; ++f) {
        const double t = (8 * r + f) * 0.01;
        const double a = 300.0 * std::sin(t * (2.0 + c)) * std::exp(-t / 90.0);
        // Ten columns as in USGS files: one exponent digit, fields touching
        // when negative ("-1.9160E+0").
        int exponent = a == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(a))));
        double mantissa = a / std::pow(10.0, exponent);
        if (std::fabs(mantissa) >= 9.99995) {
          mantissa /= 10.0;
          ++exponent;
        }
        std::fprintf(out, "%7.4fE%+d", mantissa, exponent);
      }
      std::fputs("\r\n", out);
    }
    std::fclose(out);
  }
  return 0;
}

// The real-field rule against a slow, obviously correct reading: the field's
// text without blanks matched against the form, its value as a decimal
// string through strtod, then rounded to single precision.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "fields.h"

namespace {

struct Expected {
  cdmg::FieldStatus status;
  float value;
  std::size_t taken;
};

Expected reference(const std::string &record, bool line_feed) {
  std::string text;
  std::size_t k = 0;
  bool ended_by_file = false;
  for (;;) {
    if (k == 10) break;
    if (k == record.size()) {
      ended_by_file = !line_feed;
      break;
    }
    const char c = record[k++];
    if (c == ',') break;
    if (c != ' ') text += c;
  }
  static const std::regex whole(R"(([+-]?)(\d*)(?:\.(\d*))?(?:(?:[EeDd]([+-]?)|([+-]))(\d+))?)");
  static const std::regex prefix(R"([+-]?\d*(?:\.\d*)?(?:(?:[EeDd][+-]?|[+-])\d*)?)");
  if (ended_by_file) {
    // Characters before the end are checked as they come.
    if (std::regex_match(text, prefix)) return {cdmg::FieldStatus::end_of_file, 0.0f, k};
    return {cdmg::FieldStatus::bad_character, 0.0f, k};
  }
  std::smatch m;
  if (!std::regex_match(text, m, whole)) return {cdmg::FieldStatus::bad_character, 0.0f, k};
  const std::string mantissa = m[2].str() + m[3].str();
  if (mantissa.find_first_not_of('0') == std::string::npos)
    return {cdmg::FieldStatus::value, 0.0f, k};
  const long long decimals = m[3].matched || text.find('.') != std::string::npos
                                 ? static_cast<long long>(m[3].length())
                                 : 4;
  long long exponent = m[6].matched ? std::atoll(m[6].str().c_str()) : 0;
  if ((m[4].matched && m[4].str() == "-") || (m[5].matched && m[5].str() == "-"))
    exponent = -exponent;
  const std::string decimal = m[1].str() + mantissa + "e" + std::to_string(exponent - decimals);
  const double wide = std::strtod(decimal.c_str(), nullptr);
  return {cdmg::FieldStatus::value, static_cast<float>(wide), k};
}

std::uint32_t bits(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Every input is read, the empty one too: an input that returns early
  // gives no coverage, and a fuzzer that starts from nothing never leaves it.
  if (size > 24) size = 24;
  const bool line_feed = size > 0 && (data[0] & 1) != 0;
  const std::string record(reinterpret_cast<const char *>(data) + (size > 0),
                           size > 0 ? size - 1 : 0);
  const Expected expected = reference(record, line_feed);
  std::size_t pos = 0;
  const cdmg::RecordView view{record.data(), record.size(), line_feed};
  const cdmg::RealField got = cdmg::read_real_field(view, pos);
  if (got.status != expected.status) std::abort();
  if (got.status == cdmg::FieldStatus::value) {
    if (bits(got.value) != bits(expected.value)) std::abort();
    if (pos != expected.taken) std::abort();
  }
  return 0;
}

// The one-pass reading of a full 80-column data record, with the plain and
// the SSE2 kernels, and the common-shape reading of single fields, against
// the full field rule: arbitrary records, and records of common shapes
// (exponent forms, fixed point with its point and sign anywhere, mixed
// field by field) mutated byte by byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "record_shapes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // The empty input is read too: one that returns early gives no coverage.
  std::string record;
  if (size == 0 || (data[0] & 1) == 0) {
    // The input itself, cut or padded with blanks to 80 columns.
    const std::size_t rest = size == 0 ? 0 : size - 1;
    record.assign(reinterpret_cast<const char *>(data) + (size > 0), rest < 80 ? rest : 80);
    record.resize(80, ' ');
  } else {
    // Common shapes from a seed, then the input's pairs of (column, byte).
    std::uint64_t seed = 0;
    for (std::size_t k = 1; k < size && k < 9; ++k) seed = seed << 8 | data[k];
    record = shapes::mutated_record(seed, 0);
    for (std::size_t k = 9; k + 1 < size; k += 2)
      record[data[k] % 80] = static_cast<char>(data[k + 1]);
  }
  const std::string problem = shapes::disagreement(record);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}

// The one-pass reading of a full 80-column data record, and the common-shape
// reading of single fields, against the full field rule: arbitrary records,
// and records of common shapes mutated byte by byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "record_shapes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  std::string record;
  if ((data[0] & 1) == 0) {
    // The input itself, cut or padded with blanks to 80 columns.
    record.assign(reinterpret_cast<const char *>(data + 1), size - 1 < 80 ? size - 1 : 80);
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

// A kernel's constants kept in memory, where each instruction takes its own
// as an operand: set1 would build each in registers (mov, vmovd,
// vpbroadcast) on every record or row.
#pragma once

#include <array>
#include <immintrin.h>

#include "simd.h"

namespace cdmg::avx2 {

// One value in each of a register's lanes.
template <typename T> constexpr std::array<T, 32 / sizeof(T)> splat(T value) {
  std::array<T, 32 / sizeof(T)> all{};
  all.fill(value);
  return all;
}

// GCC sees through a constant table and builds its values in registers
// again; through a pointer that an empty asm statement hides from it, each
// instruction takes its own from memory. Trick, "optimization barrier" (as
// Google Benchmark's DoNotOptimize).
template <typename Table> inline const Table &in_memory(const Table &constants) {
  const Table *table = &constants;
#if defined(__GNUC__)
  asm("" : "+r"(table));
#endif
  return *table;
}

// A 32-byte entry of such a table.
template <typename T> CDMG_TARGET_AVX2 inline __m256i vector(const T &entry) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(&entry));
}

} // namespace cdmg::avx2

#include "kernels.h"

#include "simd.h"
#if CDMG_BUILD_AVX2 && defined(_MSC_VER)
#include <intrin.h>
#endif

namespace cdmg {

namespace {

bool processor_has_avx2() {
#if CDMG_BUILD_AVX2 && (defined(__GNUC__) || defined(__clang__))
  // Asks CPUID, and whether the system saves the wide registers.
  return __builtin_cpu_supports("avx2") ? true : false;
#elif CDMG_BUILD_AVX2 && defined(_MSC_VER)
  int info[4];
  __cpuid(info, 1);
  const bool saves_wide_registers = (info[2] & (1 << 27)) != 0 && (_xgetbv(0) & 6) == 6;
  __cpuidex(info, 7, 0);
  return saves_wide_registers && (info[1] & (1 << 5)) != 0;
#else
  return false;
#endif
}

} // namespace

const char *name_of(InstructionSet set) {
  switch (set) {
  case InstructionSet::plain:
    return "plain";
  case InstructionSet::sse2:
    return "sse2";
  case InstructionSet::avx2:
    return "avx2";
  }
  return "?";
}

bool available(InstructionSet set) {
  switch (set) {
  case InstructionSet::plain:
    return true;
  case InstructionSet::sse2:
    return CDMG_HAVE_SSE2 != 0;
  case InstructionSet::avx2:
    return processor_has_avx2();
  }
  return false;
}

InstructionSet chosen_instruction_set() {
  static const InstructionSet chosen = [] {
#ifdef CDMG_KERNEL_PIN
    if (available(InstructionSet::CDMG_KERNEL_PIN)) return InstructionSet::CDMG_KERNEL_PIN;
#endif
    InstructionSet widest = InstructionSet::plain;
    for (const InstructionSet set : kInstructionSets) {
      if (available(set)) widest = set;
    }
    return widest;
  }();
  return chosen;
}

} // namespace cdmg

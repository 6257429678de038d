// The instruction sets of the fast paths. Each kernel has a plain twin; an
// SSE2 form, which every x86-64 and the i686 build run; and an AVX2 form,
// built for x86 and run where the processor reports AVX2. One set is
// chosen once, at start; a build may pin it (CDMG_KERNEL) for its tests.
#pragma once

namespace cdmg {

enum class InstructionSet { plain, sse2, avx2 };
inline constexpr InstructionSet kInstructionSets[] = {InstructionSet::plain, InstructionSet::sse2,
                                                      InstructionSet::avx2};

const char *name_of(InstructionSet set);

// This build has the set's kernels, and this processor runs them.
bool available(InstructionSet set);

// The widest available set, or the one the build pins: the same for the
// whole run.
InstructionSet chosen_instruction_set();

} // namespace cdmg

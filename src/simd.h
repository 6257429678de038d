// Whether SSE2 may be used: always on x86-64, and on x86 where the build
// asks for it (our i686 build does). Where it may, the AVX2 kernels are
// built too, each function compiled for AVX2 by its own target attribute,
// and run only where the processor reports AVX2.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define CDMG_HAVE_SSE2 1
#include <emmintrin.h>
#else
#define CDMG_HAVE_SSE2 0
#endif

#if CDMG_HAVE_SSE2 && !defined(__EMSCRIPTEN__) &&                                                  \
    (defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86))
#define CDMG_BUILD_AVX2 1
#if defined(__GNUC__) || defined(__clang__)
#define CDMG_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#else
#define CDMG_TARGET_AVX2
#endif
#else
#define CDMG_BUILD_AVX2 0
#endif

#if defined(__GNUC__)
#define CDMG_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define CDMG_ALWAYS_INLINE inline
#endif

// Whether SSE2 may be used: always on x86-64, on x86 where the build asks
// for it (our i686 build does), and in the page, where emscripten maps it
// onto WebAssembly SIMD. The choice is made at compile time.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define CDMG_HAVE_SSE2 1
#include <emmintrin.h>
#else
#define CDMG_HAVE_SSE2 0
#endif

#if defined(__GNUC__)
#define CDMG_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define CDMG_ALWAYS_INLINE inline
#endif

# Cross-build for Windows on i686; see mingw-common.cmake.
set(CDMG_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 arithmetic: the x87 unit's extended precision would round twice and
# break the exact conversions.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

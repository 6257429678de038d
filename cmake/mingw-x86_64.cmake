# Cross-build for Windows on x86_64; see mingw-common.cmake.
set(CDMG_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Cross build for 32-bit Windows, the shipped build. Test programs run under
# wine's 32-bit loader (wine64 hands a 32-bit program to it) through the
# cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KOR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Floating point in SSE2 registers, as the 64-bit builds do: the x87 unit
# keeps intermediates in 80 bits, so dates, scaled readings and next run times
# would round differently from every other build. SSE2 is on every processor
# a supported Windows runs on. A host may call in with a stack aligned to
# 4 bytes only; functions that need more realign it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)

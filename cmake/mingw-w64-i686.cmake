# Cross build for 32-bit Windows, the shipped build. Nothing here can run
# 32-bit code, so no emulator is set: the build is compiled and checked.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KOR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

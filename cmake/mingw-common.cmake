# Shared part of the two mingw toolchain files; KOR_MINGW_TRIPLE is set.
set(CMAKE_C_COMPILER ${KOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KOR_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KOR_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump of the target")
set(CMAKE_FIND_ROOT_PATH /usr/${KOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The C++ runtime and winpthread are linked in, so the DLLs and programs
# need nothing beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

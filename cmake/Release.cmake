# The release archive of a Windows build: `cmake --build --preset win32
# --target release` makes build/win32/release/mbusplugin-VERSION-win32.zip
# (the stripped mbusplugin.dll and libmbus.dll as the tests load them from
# bin/, INSTALL.txt, SHA256SUMS.txt) with the debug files and their checksums
# beside it (cmake/release/MakeRelease.cmake).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KOR_RELEASE_PLATFORM win32)
  set(KOR_RELEASE_PLATFORM_TEXT "32-bit Windows")
else()
  set(KOR_RELEASE_PLATFORM win64)
  set(KOR_RELEASE_PLATFORM_TEXT "64-bit Windows")
endif()
set(KOR_RELEASE_NAME mbusplugin-${PROJECT_VERSION}-${KOR_RELEASE_PLATFORM})
# The arguments of cmake/release/MakeRelease.cmake but the folder (OUT_DIR).
set(KOR_RELEASE_ARGS
    -DNAME=${KOR_RELEASE_NAME} -DVERSION=${PROJECT_VERSION}
    "-DPLATFORM=${KOR_RELEASE_PLATFORM_TEXT}"
    -DLIBRARIES=$<TARGET_FILE:mbusplugin>$<SEMICOLON>$<TARGET_FILE:libmbus>
    -DINSTALL_TEXT=${PROJECT_SOURCE_DIR}/cmake/release/INSTALL.txt.in)
add_custom_target(release
  COMMAND ${CMAKE_COMMAND} ${KOR_RELEASE_ARGS} -DOUT_DIR=${CMAKE_BINARY_DIR}/release
          -P ${PROJECT_SOURCE_DIR}/cmake/release/MakeRelease.cmake
  DEPENDS mbusplugin libmbus
  COMMENT "Release archive ${KOR_RELEASE_NAME}.zip"
  VERBATIM)

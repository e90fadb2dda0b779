# Compiler settings shared by every target of the project.

add_library(kor_options INTERFACE)
target_compile_options(kor_options INTERFACE -Wall -Wextra)
target_include_directories(kor_options INTERFACE ${PROJECT_SOURCE_DIR})
if(NOT WIN32)
  target_compile_options(kor_options INTERFACE -fvisibility=hidden)
endif()

if(KOR_SANITIZE)
  string(REPLACE ";" "," _kor_san "${KOR_SANITIZE}")
  add_compile_options(-fsanitize=${_kor_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_kor_san})
endif()

if(KOR_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The file version of the shipped libraries (mbusplugin, libmbus), in the
# version resource's form and as text.
set(KOR_PLUGIN_VERSION_RC
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(KOR_PLUGIN_VERSION_TEXT
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# kor_library(NAME SOURCES...): a static library of one layer, built with the
# project's warnings.
function(kor_library name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC kor_options)
endfunction()

# kor_split_debug(TARGET): a Windows library ships stripped. After every link
# its debug information moves into TARGET_FILE.debug beside it, and the
# library names that file (by name and checksum) for debuggers; the file in
# bin/ is then the shipped one, which the tests load.
function(kor_split_debug target)
  if(NOT WIN32)
    return()
  endif()
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
            $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

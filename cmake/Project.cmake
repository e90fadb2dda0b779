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

# kor_library(NAME SOURCES...): a static library of one layer, built with the
# project's warnings.
function(kor_library name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC kor_options)
endfunction()

# GoogleTest is built from the system's sources, so every preset (the mingw
# ones included) links a copy made with its own compiler and sanitizers.
set(KOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(_target gtest gtest_main gmock gmock_main)
  target_compile_options(${_target} PRIVATE -O0 -g1)  # as the test programs, see kor_test
endforeach()

# GoogleTest's headers are most of a test file's compile time: precompiled
# once per build in a program of their own, which every test program reuses
# (a program, so that its code model is theirs; the same options as kor_test
# gives them).
set(_pch_unit ${CMAKE_BINARY_DIR}/kor_test_pch.cpp)
if(NOT EXISTS ${_pch_unit})
  file(WRITE ${_pch_unit} "// The precompiled header's own program.\nint main() { return 0; }\n")
endif()
add_executable(kor_test_pch ${_pch_unit})
target_link_libraries(kor_test_pch PRIVATE GTest::gtest GTest::gmock kor_options)
target_compile_options(kor_test_pch PRIVATE -O0 -g1)
target_precompile_headers(kor_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)

# kor_test(NAME [CONCURRENCY] SOURCES... LIBS libs...): one test program, run
# as one process (under wine64 each start costs about a second). With
# CONCURRENCY, the suites whose name contains "Concurrency" run as a second
# test labelled "concurrency" (every preset but the soaks runs both).
function(kor_test name)
  cmake_parse_arguments(T "CONCURRENCY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock kor_options)
  target_compile_definitions(${name} PRIVATE KOR_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  # The test code itself unoptimised and with line tables only, in every
  # preset: it compiles in about half the time, and what the tests exercise
  # (the libraries and modules they link) keeps its preset's flags. Line
  # tables are enough for stack traces and sanitizer reports.
  target_compile_options(${name} PRIVATE -O0 -g1)
  target_precompile_headers(${name} REUSE_FROM kor_test_pch)
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  if(NOT T_CONCURRENCY)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS unit)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_filter=-*Concurrency*)
  set_tests_properties(${name} PROPERTIES LABELS unit)
  add_test(NAME ${name}.concurrency COMMAND ${name} --gtest_filter=*Concurrency*)
  set_tests_properties(${name}.concurrency PROPERTIES LABELS concurrency)
endfunction()

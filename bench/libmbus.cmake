# libmbus: parse + normalise + normalised XML over the shared reference
# telegrams, in frames per second.
add_executable(libmbus_bench LibmbusBench.cpp)
target_link_libraries(libmbus_bench PRIVATE mbus_core benchmark::benchmark_main kor_options)
target_compile_definitions(libmbus_bench PRIVATE KOR_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")

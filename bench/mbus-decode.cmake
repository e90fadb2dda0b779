# M-Bus module: decoding of the shared reference telegrams into rows of
# named values (parse, normalise, name, merge), in frames per second.
add_executable(mbus_decode_bench MbusDecodeBench.cpp)
target_link_libraries(mbus_decode_bench PRIVATE mbus_module mbus_core benchmark::benchmark_main
                                                kor_options)
target_compile_definitions(mbus_decode_bench PRIVATE KOR_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")

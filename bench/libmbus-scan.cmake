# A full secondary scan of simulated segments through libmbus's hooks.
add_executable(libmbus_scan_bench ${CMAKE_CURRENT_LIST_DIR}/LibmbusScanBench.cpp)
target_link_libraries(libmbus_scan_bench PRIVATE mbus_bus mbus_core benchmark::benchmark_main
                                                 kor_options)

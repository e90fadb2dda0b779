add_executable(params_bench ParamsListBench.cpp)
target_link_libraries(params_bench PRIVATE params benchmark::benchmark_main kor_options)

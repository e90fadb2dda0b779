# The M-Bus worker's read path against the timed simulated segment (line busy
# fraction at 2400 and 9600 baud) and the cost of idle workers. libmbus is
# loaded from the program's folder, as the plug-in loads it.
add_executable(mbus_worker_bench MbusWorkerBench.cpp)
target_link_libraries(mbus_worker_bench PRIVATE mbus_module mbus_bus benchmark::benchmark_main
                                                kor_options)
add_dependencies(mbus_worker_bench libmbus)

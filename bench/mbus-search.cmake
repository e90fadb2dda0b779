# A full secondary scan through the plug-in's exports against the timed
# simulated segment (2400 baud): selections per meter, meters found, elapsed
# time beside the line time. The program exports the host entry points, as
# mbus-host does; mbusplugin and libmbus are loaded from its folder.
add_executable(mbus_search_bench MbusSearchBench.cpp)
target_link_libraries(mbus_search_bench PRIVATE plugin_host plugin benchmark::benchmark
                                                kor_options)
set_target_properties(mbus_search_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(mbus_search_bench mbusplugin libmbus)

add_executable(forms_bench FormsBench.cpp)
target_link_libraries(forms_bench PRIVATE kor_formtext plugin benchmark::benchmark_main kor_options)

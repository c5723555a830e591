# Decisions per second of vardfilt.so through its exports, driven by the filter's test host.
add_executable(filter_bench ${CMAKE_CURRENT_LIST_DIR}/filter_bench.cc)
target_link_libraries(filter_bench PRIVATE vard_filter vard_filter_host vard_filter_sandbox
                      benchmark::benchmark Threads::Threads)
add_dependencies(filter_bench vardfilt)

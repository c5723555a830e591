# Load, save and lookup costs of the value tree on a configuration the size of a large site.
add_executable(tree_bench ${CMAKE_CURRENT_LIST_DIR}/tree_bench.cc)
target_link_libraries(tree_bench PRIVATE vard_tree benchmark::benchmark)

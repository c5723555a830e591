# The filter's tests: the test host that drives vardfilt.so through its two exports (shared with
# the whole-road test), the sandbox of settings store and configuration, and the test programs.
# Every filter test carries the label "filter": the test command runs them under ThreadSanitizer.
add_library(vard_filter_host STATIC ${CMAKE_CURRENT_SOURCE_DIR}/filter_host.cc)
target_link_libraries(vard_filter_host PUBLIC ${CMAKE_DL_LIBS})
target_compile_definitions(vard_filter_host PRIVATE VARD_DEFAULT_BIN="${CMAKE_BINARY_DIR}/bin")

add_library(vard_filter_sandbox STATIC ${CMAKE_CURRENT_SOURCE_DIR}/filter_sandbox.cc)
target_link_libraries(vard_filter_sandbox PUBLIC vard_schema vard_tree vard_platform)

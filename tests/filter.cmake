# The filter's tests: the test host that drives vardfilt.so through its two exports (shared with
# the whole-road test), the sandbox of settings store and configuration, and the test programs.
# Every filter test carries the label "filter": the test command runs them under ThreadSanitizer.
add_library(vard_filter_host STATIC ${CMAKE_CURRENT_SOURCE_DIR}/filter_host.cc)
target_link_libraries(vard_filter_host PUBLIC ${CMAKE_DL_LIBS})
target_compile_definitions(vard_filter_host PRIVATE VARD_DEFAULT_BIN="${CMAKE_BINARY_DIR}/bin")

add_library(vard_filter_sandbox STATIC ${CMAKE_CURRENT_SOURCE_DIR}/filter_sandbox.cc)
target_link_libraries(vard_filter_sandbox PUBLIC vard_schema vard_tree vard_platform)

add_library(vard_filter_test_util STATIC ${CMAKE_CURRENT_SOURCE_DIR}/filter_test_util.cc)
target_link_libraries(vard_filter_test_util PUBLIC vard_filter_host vard_filter_sandbox
                      GTest::gtest)

# Every test program that loads vardfilt.so depends on it, so the test build always has it (the
# ThreadSanitizer build included).
function(vard_filter_library_test name)
  vard_test(NAME ${name} SOURCES ${ARGN} LIBS vard_filter_test_util LABELS filter)
  add_dependencies(${name} vardfilt)
endfunction()

vard_filter_library_test(filter_decision_test ${CMAKE_CURRENT_SOURCE_DIR}/filter_decision_test.cc)
vard_filter_library_test(filter_library_test ${CMAKE_CURRENT_SOURCE_DIR}/filter_library_test.cc)
vard_filter_library_test(filter_reload_test ${CMAKE_CURRENT_SOURCE_DIR}/filter_reload_test.cc)
vard_filter_library_test(filter_hash_test ${CMAKE_CURRENT_SOURCE_DIR}/filter_hash_test.cc)
vard_filter_library_test(filter_concurrency_test
                         ${CMAKE_CURRENT_SOURCE_DIR}/filter_concurrency_test.cc)

# AuthFilter in the test process (its clock and cache state in reach), beside its source.
vard_test(NAME filter_auth_test
          SOURCES ${CMAKE_SOURCE_DIR}/filter/auth_filter_test.cc
                  ${CMAKE_SOURCE_DIR}/filter/decision_test.cc
          LIBS vard_filter vard_filter_test_util LABELS filter)

# End-to-end tests through a real Apache httpd: the host module against a scripted filter, the
# whole system started by the run command, and a headless browser on the administration pages.
# They need the module, so they exist only where it is built.
if(NOT VARD_BUILD_APACHE OR VARD_SANITIZE)
  return()
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_library(vardfilt_stub MODULE ${CMAKE_CURRENT_LIST_DIR}/e2e/stub_filter.c)
set_target_properties(vardfilt_stub PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/tests)
target_include_directories(vardfilt_stub PRIVATE ${PROJECT_SOURCE_DIR})

set(VARD_E2E_ENV "VARD_BIN=${CMAKE_BINARY_DIR}/bin;VARD_SOURCE=${CMAKE_SOURCE_DIR}")

# vard_e2e(name script [timeout]): one Python test file run as one ctest test.
function(vard_e2e name script timeout)
  add_test(NAME ${name} COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e/${script})
  set_tests_properties(${name} PROPERTIES LABELS e2e TIMEOUT ${timeout} RUN_SERIAL TRUE
                       ENVIRONMENT "${VARD_E2E_ENV};${ARGN}")
endfunction()

vard_e2e(apache_module apache_module_test.py 300
         "VARD_STUB_FILTER=$<TARGET_FILE:vardfilt_stub>")

# The whole system through the run command: it needs every deliverable built.
vard_e2e(apache_system system_test.py 900)

# Two servers on one configuration on a GlusterFS volume: root only, and run by the test
# command's farm stage alone (label farm), since it mounts a volume on this machine.
add_test(NAME apache_farm COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e/farm_test.py)
set_tests_properties(apache_farm PROPERTIES LABELS farm TIMEOUT 300 RUN_SERIAL TRUE
                     ENVIRONMENT "${VARD_E2E_ENV}")

find_program(VARD_NODE node REQUIRED)
# vard_browser(name script): one headless-browser test against the system the run command starts.
function(vard_browser name script)
  add_test(NAME ${name} COMMAND ${VARD_NODE} ${CMAKE_CURRENT_LIST_DIR}/browser/${script})
  set_tests_properties(${name} PROPERTIES LABELS e2e TIMEOUT 300 RUN_SERIAL TRUE
                       ENVIRONMENT "${VARD_E2E_ENV}")
endfunction()

vard_browser(apache_browser admin_browser_test.mjs)
# Another web site against the administration pages in the same browser.
vard_browser(apache_browser_forgery forgery_browser_test.mjs)
# A password beyond ASCII, typed into a form, then sent by the browser's own Basic log-on.
vard_browser(apache_browser_password password_browser_test.mjs)

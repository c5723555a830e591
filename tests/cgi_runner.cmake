# Runs a built CGI program as a web server would; shared by the CGI programs' end-to-end tests.
add_library(vard_cgi_runner cgi_runner.cc)
vard_headers(vard_cgi_runner)
target_link_libraries(vard_cgi_runner PUBLIC vard_platform vard_schema)

# The request input of the CGI framework, read by a small echo program run as a process.
add_executable(cgi_echo cgi_echo_main.cc)
target_link_libraries(cgi_echo PRIVATE vard_cgi)
set_target_properties(cgi_echo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
vard_test(NAME cgi_request_test SOURCES cgi_request_test.cc LIBS vard_cgi_runner LABELS cgi)
target_compile_definitions(cgi_request_test PRIVATE VARD_CGI_ECHO="$<TARGET_FILE:cgi_echo>")
add_dependencies(cgi_request_test cgi_echo)

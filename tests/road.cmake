# The whole road: vardadmin, vardfilt.so (through the test host) and vardsite together.
vard_test(NAME road_test SOURCES road_test.cc LIBS vard_cgi_runner vard_filter_host LABELS road)
add_dependencies(road_test vardadmin vardsite vardfilt)

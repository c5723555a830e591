# vardadmin run as a process the way a web server runs it: frame, dispatch, location pages,
# general options, exit statuses, the configuration lock.
vard_test(NAME admin_test SOURCES admin_test.cc admin_lock_test.cc
          LIBS vard_cgi_runner vard_tree vard_schema LABELS admin)
add_dependencies(admin_test vardadmin vardcfg)
# Both CGI programs against forged requests: changing actions by GET or from another origin.
vard_test(NAME forgery_test SOURCES forgery_test.cc
          LIBS vard_cgi_runner vard_user_test_support LABELS admin)
add_dependencies(forgery_test vardadmin vardsite)

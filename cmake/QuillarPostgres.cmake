# The tests' own PostgreSQL server as a CTest fixture (scripts/test-postgres).
#
#   quillar_postgres_fixture()
#     Adds the tests history_postgres_start (starts the server in
#     ${CMAKE_BINARY_DIR}/postgres) and history_postgres_stop (stops it and
#     removes its data). ctest runs the first before any test that requires the
#     fixture and the second after the last of them, also when they fail.
#
#   quillar_requires_postgres(TEST...)
#     Makes each test require the fixture (adding it if needed) and gives it
#     QUILLAR_TEST_POSTGRES=${CMAKE_BINARY_DIR}/postgres: the connection string
#     is in $QUILLAR_TEST_POSTGRES/address, and
#     "${QUILLAR_POSTGRES_SCRIPT} stop|start $QUILLAR_TEST_POSTGRES" takes the
#     server away and brings it back on the same port mid-test.
#
#   For gtest_discover_tests, after quillar_postgres_fixture():
#     gtest_discover_tests(history_tests PROPERTIES ${QUILLAR_POSTGRES_TEST_PROPERTIES})
#   The variable sets the environment through ENVIRONMENT_MODIFICATION, so an
#   ENVIRONMENT given in the same PROPERTIES stays as it is.
#
# The tests of the fixture share one server and some stop it, so they never
# run at the same time (RESOURCE_LOCK quillar_postgres), also under ctest -j.
include_guard(GLOBAL)

set(QUILLAR_POSTGRES_DIR ${CMAKE_BINARY_DIR}/postgres)
get_filename_component(QUILLAR_POSTGRES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/test-postgres ABSOLUTE)
set(QUILLAR_POSTGRES_TEST_PROPERTIES
    FIXTURES_REQUIRED quillar_postgres
    RESOURCE_LOCK quillar_postgres
    ENVIRONMENT_MODIFICATION QUILLAR_TEST_POSTGRES=set:${QUILLAR_POSTGRES_DIR})

function(quillar_postgres_fixture)
  # Once per build tree, whichever folder asks first.
  get_property(added GLOBAL PROPERTY QUILLAR_POSTGRES_FIXTURE_ADDED)
  if(added)
    return()
  endif()
  set_property(GLOBAL PROPERTY QUILLAR_POSTGRES_FIXTURE_ADDED TRUE)

  add_test(NAME history_postgres_start COMMAND ${QUILLAR_POSTGRES_SCRIPT} start ${QUILLAR_POSTGRES_DIR})
  set_tests_properties(history_postgres_start PROPERTIES
    FIXTURES_SETUP quillar_postgres RESOURCE_LOCK quillar_postgres TIMEOUT 300)
  add_test(NAME history_postgres_stop COMMAND ${QUILLAR_POSTGRES_SCRIPT} clean ${QUILLAR_POSTGRES_DIR})
  set_tests_properties(history_postgres_stop PROPERTIES
    FIXTURES_CLEANUP quillar_postgres RESOURCE_LOCK quillar_postgres TIMEOUT 300)
endfunction()

function(quillar_requires_postgres)
  if(ARGC EQUAL 0)
    message(FATAL_ERROR "quillar_requires_postgres: name the tests that need the server")
  endif()
  quillar_postgres_fixture()
  set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED quillar_postgres)
  set_property(TEST ${ARGN} APPEND PROPERTY RESOURCE_LOCK quillar_postgres)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT QUILLAR_TEST_POSTGRES=${QUILLAR_POSTGRES_DIR})
endfunction()

sonavista_add_test(NAME playback_monitor_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorTest.cpp ${CMAKE_CURRENT_LIST_DIR}/monitorQueriesTest.cpp
  LABELS unit)

sonavista_add_test(NAME capture_monitor_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SystemAudioLevelMonitorTest.cpp LABELS unit threads)
sonavista_add_test(NAME capture_session_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DefaultSinkSessionTest.cpp LABELS unit)
sonavista_add_test(NAME player_streams_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayerStreamsTest.cpp LABELS unit)

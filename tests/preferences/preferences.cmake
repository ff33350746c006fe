sonavista_add_test(NAME preferences_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/WaveColorTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayPreferencesTest.cpp)

sonavista_add_test(NAME settings_rows_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SettingsRowsTest.cpp)
if(SONAVISTA_WITH_QT)
  # Set SONAVISTA_SETTINGS_SCREENSHOTS=<dir> to also write one PNG per tab.
  sonavista_add_test(NAME settings_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowTest.cpp ${PROJECT_SOURCE_DIR}/tests/support/QtTestApplication.cpp
    LIBS sonavista_qt)
endif()

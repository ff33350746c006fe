sonavista_add_test(NAME settings_rows_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SettingsRowsTest.cpp)
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME settings_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowTest.cpp ${PROJECT_SOURCE_DIR}/tests/support/QtTestApplication.cpp
    LIBS sonavista_qt)
endif()

sonavista_add_test(NAME preferences_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/WaveColorTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayPreferencesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsFileFormatTest.cpp)
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME ini_settings_store_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/IniSettingsStoreTest.cpp
    LIBS sonavista_qt)
endif()

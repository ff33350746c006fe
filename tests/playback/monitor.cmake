sonavista_add_test(NAME playback_monitor_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorTest.cpp
  LABELS unit)
sonavista_add_test(NAME playback_proc_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorProcTest.cpp
  LIBS sonavista_adapters LABELS unit)
sonavista_add_test(NAME playback_pulse_volume_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorPulseTest.cpp
  LIBS sonavista_adapters LABELS unit threads)
if(SONAVISTA_WITH_QT)
  # Starts a private dbus-daemon.
  sonavista_add_test(NAME playback_mpris_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorMprisTest.cpp ${PROJECT_SOURCE_DIR}/tests/support/QtTestApplication.cpp
    LIBS sonavista_qt LABELS integration TIMEOUT 60)
endif()

sonavista_add_test(NAME capture_pulseaudio_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PulseAudioCaptureTest.cpp
  LIBS sonavista_adapters LABELS integration TIMEOUT 60)
# The tool's own cases run sonavista-analyze --capture.
add_dependencies(capture_pulseaudio_tests sonavista-analyze)
sonavista_add_test(NAME capture_player_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayerCaptureTest.cpp
  LIBS sonavista_adapters LABELS integration TIMEOUT 90)

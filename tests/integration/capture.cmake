sonavista_add_test(NAME capture_pulseaudio_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PulseAudioCaptureTest.cpp
  LIBS sonavista_adapters LABELS integration TIMEOUT 60)

sonavista_add_test(NAME capture_pulseaudio_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PulseAudioCaptureTest.cpp
  LIBS sonavista_adapters LABELS integration TIMEOUT 60)
# The tool's own cases run sonavista-analyze --capture.
add_dependencies(capture_pulseaudio_tests sonavista-analyze)
sonavista_add_test(NAME capture_player_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayerCaptureTest.cpp
  LIBS sonavista_adapters LABELS integration TIMEOUT 90)
# A stand-in Bluetooth output: a PipeWire sink that reports a latency of its own.
add_executable(latency_sink ${CMAKE_CURRENT_LIST_DIR}/LatencySink.cpp)
target_link_libraries(latency_sink PRIVATE PkgConfig::PIPEWIRE)
target_compile_definitions(capture_player_tests PRIVATE SONAVISTA_LATENCY_SINK="$<TARGET_FILE:latency_sink>")
add_dependencies(capture_player_tests latency_sink)

target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DefaultSinkSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameHoldBack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LatestFrameSlot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SinkInputMatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemAudioLevelMonitor.cpp)
target_sources(sonavista_adapters PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PulseAudioMainLoop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseAudioStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseAudioCapture.cpp)
target_sources(sonavista_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PlaybackStreamMixer.cpp)
target_sources(sonavista_adapters PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProcProcessTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulsePlayerCapture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PipeWireOutputLatency.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulsePlayerStream.cpp)

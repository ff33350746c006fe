target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WaveformScene.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageBuffer.cpp)

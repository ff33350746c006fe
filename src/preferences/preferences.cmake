target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WaveColor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveColorGroup.cpp)

target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioFrameAnalyzer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SampleAccumulator.cpp)

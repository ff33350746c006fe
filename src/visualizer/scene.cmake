target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WaveformScene.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveformRasterizer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageBuffer.cpp)
# The rasterizer's row loops (clamp, convert, multiply-add over whole rows) only vectorise when
# float comparisons may be if-converted; it raises no floating-point exceptions it relies on.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/WaveformRasterizer.cpp TARGET_DIRECTORY sonavista_core PROPERTIES
  COMPILE_OPTIONS "-fno-trapping-math;$<$<NOT:$<CONFIG:Debug>>:-O3>")
if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/QPainterWaveformRenderer.cpp)
endif()

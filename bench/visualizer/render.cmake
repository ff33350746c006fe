# Waveform rasterizer against the QPainter reference (the reference needs Qt).
if(SONAVISTA_WITH_QT)
  sonavista_add_benchmark(NAME render_benchmark
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/renderBenchmark.cpp
    LIBS sonavista_qt)
endif()

sonavista_add_benchmark(NAME playback_monitor_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorBench.cpp
  LIBS sonavista_adapters)

sonavista_add_test(NAME audio_analysis_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AudioFrameAnalyzerTest.cpp)
sonavista_add_test(NAME audio_analysis_thread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AudioAnalysisThreadsTest.cpp LABELS unit threads)
if(TARGET sonavista-analyze)
  sonavista_add_test(NAME analyze_tool_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AnalyzeToolTest.cpp LIBS PkgConfig::SNDFILE LABELS unit TIMEOUT 300)
  add_dependencies(analyze_tool_tests sonavista-analyze)
  target_compile_definitions(analyze_tool_tests PRIVATE SONAVISTA_ANALYZE_TOOL="$<TARGET_FILE:sonavista-analyze>")
endif()

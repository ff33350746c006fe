sonavista_add_test(NAME waveform_scene_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sceneWaveformSceneTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/sceneRasterizerTest.cpp)
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME waveform_rasterizer_comparison_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sceneRasterizerComparisonTest.cpp
    LIBS sonavista_qt)
  sonavista_add_test(NAME render_tool_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sceneRenderToolTest.cpp
    LIBS sonavista_render_options Qt6::Gui)
  target_compile_definitions(render_tool_tests PRIVATE SONAVISTA_RENDER_TOOL="$<TARGET_FILE:sonavista-render>")
  add_dependencies(render_tool_tests sonavista-render)
endif()

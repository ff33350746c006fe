sonavista_add_test(NAME visualizer_model_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/VisualizerModelTest.cpp)

target_sources(sonavista_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VisualizerModel.cpp)

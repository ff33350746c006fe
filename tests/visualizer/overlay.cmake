sonavista_add_test(NAME overlay_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/OverlayLayoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayWindowControllerTest.cpp)

sonavista_add_test(NAME overlay_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/OverlayLayoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayStackingTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayWindowControllerTest.cpp)
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME overlay_view_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/OverlayViewTest.cpp ${PROJECT_SOURCE_DIR}/tests/support/QtTestApplication.cpp
    LIBS sonavista_qt)
endif()

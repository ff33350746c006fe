# The overlay on a private Xvfb with picom; needs the Qt window.
if(SONAVISTA_WITH_QT)
  add_executable(sonavista-overlay-demo ${CMAKE_CURRENT_LIST_DIR}/OverlayDemo.cpp)
  target_link_libraries(sonavista-overlay-demo PRIVATE sonavista_qt)
  sonavista_add_test(NAME overlay_integration_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/OverlayWindowIntegrationTest.cpp
    LIBS X11::X11 LABELS integration TIMEOUT 120)
  target_compile_definitions(overlay_integration_tests PRIVATE
    SONAVISTA_OVERLAY_DEMO="$<TARGET_FILE:sonavista-overlay-demo>")
  add_dependencies(overlay_integration_tests sonavista-overlay-demo)
endif()
# The overlay under the X11 window managers of common desktops, and under none.
if(SONAVISTA_WITH_QT)
  foreach(manager xfwm4 openbox mutter none)
    add_test(NAME overlay_under_${manager} COMMAND ${CMAKE_CURRENT_LIST_DIR}/window_managers.sh
      $<TARGET_FILE:sonavista-overlay-demo> ${manager})
    set_tests_properties(overlay_under_${manager} PROPERTIES LABELS integration TIMEOUT 110
      ENVIRONMENT SONAVISTA_BINARY_DIR=${CMAKE_BINARY_DIR})
  endforeach()
endif()

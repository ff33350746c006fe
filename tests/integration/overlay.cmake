# The overlay shown alone (sonavista-overlay-demo) under the X11 window managers of common
# desktops, under none (picom alone), and on a bare display without a compositor.
if(SONAVISTA_WITH_QT)
  add_executable(sonavista-overlay-demo ${CMAKE_CURRENT_LIST_DIR}/OverlayDemo.cpp)
  target_link_libraries(sonavista-overlay-demo PRIVATE sonavista_qt)
  foreach(manager xfwm4 openbox mutter kwin_x11 none bare)
    add_test(NAME overlay_under_${manager} COMMAND ${CMAKE_CURRENT_LIST_DIR}/window_managers.sh
      $<TARGET_FILE:sonavista-overlay-demo> ${manager})
    set_tests_properties(overlay_under_${manager} PROPERTIES LABELS integration TIMEOUT 110
      ENVIRONMENT SONAVISTA_BINARY_DIR=${CMAKE_BINARY_DIR})
  endforeach()
endif()

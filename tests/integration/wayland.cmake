# The application under private headless sway, GNOME's mutter (XWayland) and KDE Plasma's KWin.
if(SONAVISTA_WITH_QT AND TARGET sonavista)
  foreach(compositor wayland_overlay gnome_wayland kwin_wayland)
    add_test(NAME ${compositor}_end_to_end
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/${compositor}.sh $<TARGET_FILE:sonavista>)
    set_tests_properties(${compositor}_end_to_end PROPERTIES LABELS integration TIMEOUT 180
      RESOURCE_LOCK sonavista_bridge_port)
  endforeach()
endif()

# The whole application under a private headless sway (layer-shell overlay), from screenshots.
if(SONAVISTA_WITH_QT AND TARGET sonavista)
  add_test(NAME wayland_overlay_end_to_end
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/wayland_overlay.sh $<TARGET_FILE:sonavista>)
  set_tests_properties(wayland_overlay_end_to_end PROPERTIES LABELS integration TIMEOUT 120
    RESOURCE_LOCK sonavista_bridge_port)
endif()

# GNOME on Wayland: the application through XWayland under a private headless mutter.
if(SONAVISTA_WITH_QT AND TARGET sonavista)
  add_test(NAME gnome_wayland_end_to_end
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/gnome_wayland.sh $<TARGET_FILE:sonavista>)
  set_tests_properties(gnome_wayland_end_to_end PROPERTIES LABELS integration TIMEOUT 180
    RESOURCE_LOCK sonavista_bridge_port)
endif()

# The whole application on private services (display + compositor, sound server, session bus).
if(SONAVISTA_WITH_QT AND TARGET sonavista)
  add_test(NAME app_end_to_end
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/app_end_to_end.sh $<TARGET_FILE:sonavista>)
  # The application listens on its fixed bridge port and owns the single-instance socket.
  set_tests_properties(app_end_to_end PROPERTIES LABELS integration TIMEOUT 180
    RESOURCE_LOCK sonavista_bridge_port)
endif()

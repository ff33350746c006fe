# The whole application on private services (display + compositor, sound server, session bus).
if(SONAVISTA_WITH_QT AND TARGET sonavista)
  # Once on PulseAudio and once on PipeWire (through pipewire-pulse).
  foreach(sound pulseaudio pipewire)
    set(name app_end_to_end)
    if(sound STREQUAL pipewire)
      set(name app_end_to_end_pipewire)
    endif()
    add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/app_end_to_end.sh $<TARGET_FILE:sonavista>)
    # The application listens on its fixed bridge port and owns the single-instance socket.
    set_tests_properties(${name} PROPERTIES LABELS integration TIMEOUT 180
      RESOURCE_LOCK sonavista_bridge_port ENVIRONMENT SANDBOX_SOUND=${sound})
  endforeach()
endif()

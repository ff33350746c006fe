# Playback detection against a private session bus and a real MPRIS player.
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME detect_integration_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/detect.cpp
    LIBS sonavista_adapters LABELS integration TIMEOUT 120)
  add_dependencies(detect_integration_tests sonavista-detect)
endif()

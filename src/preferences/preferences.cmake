target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WaveColor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveColorGroup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayPosition.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayDisplayMode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemorySettingsStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayPreferences.cpp)
target_sources(sonavista_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SettingsFileFormat.cpp)
if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/IniSettingsStore.cpp)
endif()

# Settings window: what it shows, derived from the preferences and the model (core), and the
# Qt window itself with its own controls and symbols.
target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioStatusRow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserExtensionStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsTab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsViewState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SwatchGridLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VersionText.cpp)

if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BrowserExtensionRow.cpp ${CMAKE_CURRENT_LIST_DIR}/BrowserExtensionRow.h
    ${CMAKE_CURRENT_LIST_DIR}/OtherPlayersList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SegmentedPicker.cpp ${CMAKE_CURRENT_LIST_DIR}/SegmentedPicker.h
    ${CMAKE_CURRENT_LIST_DIR}/SettingsDivider.h ${CMAKE_CURRENT_LIST_DIR}/SettingsSymbol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsView.cpp ${CMAKE_CURRENT_LIST_DIR}/SettingsView.h
    ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SwatchButton.cpp ${CMAKE_CURRENT_LIST_DIR}/SwatchButton.h
    ${CMAKE_CURRENT_LIST_DIR}/SwatchGrid.cpp ${CMAKE_CURRENT_LIST_DIR}/SwatchGrid.h
    ${CMAKE_CURRENT_LIST_DIR}/ToggleSwitch.cpp ${CMAKE_CURRENT_LIST_DIR}/ToggleSwitch.h
    ${CMAKE_CURRENT_LIST_DIR}/settings.qrc)
endif()

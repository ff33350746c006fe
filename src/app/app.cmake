# Application shell: the policy and the menu model (core), launch at login (adapter), and with
# Qt the tray, single instance, desktop opener and the `sonavista` executable.
target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlatformChoice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrayNotice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusMenuModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SoundSettingsCommand.cpp)
target_sources(sonavista_adapters PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/XdgAutostartLoginItem.cpp)

if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QtStatusMenu.cpp ${CMAKE_CURRENT_LIST_DIR}/QtStatusMenu.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h
    ${CMAKE_CURRENT_LIST_DIR}/QtSoundSettingsOpener.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QtAlertPresenter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QtBrowserExtensionSetup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OverlayWiring.cpp)

  # Kept out of the static library so the icons are always linked into the executable.
  add_executable(sonavista ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/resources/app.qrc)
  set_target_properties(sonavista PROPERTIES AUTORCC ON RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  target_link_libraries(sonavista PRIVATE sonavista_qt)

  include(GNUInstallDirs)
  install(TARGETS sonavista RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/sonavista.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/sonavista-app.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME sonavista.svg)
endif()

# Application shell: the policy and the menu model (core), launch at login (adapter), and with
# Qt the tray, single instance, desktop opener and the `sonavista` executable.
target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusMenuModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SoundSettingsCommand.cpp)
target_sources(sonavista_adapters PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/XdgAutostartLoginItem.cpp)

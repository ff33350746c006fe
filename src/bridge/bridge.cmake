target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BridgeProtocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserPlaybackBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserSessionTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlaybackMessage.cpp)

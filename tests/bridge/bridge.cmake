sonavista_add_test(NAME bridge_protocol_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BridgeProtocolTest.cpp)
sonavista_add_test(NAME bridge_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BrowserPlaybackBridgeTest.cpp
  LABELS unit threads TIMEOUT 60)

sonavista_add_test(NAME bridge_protocol_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BridgeProtocolTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BrowserSessionTableTest.cpp)

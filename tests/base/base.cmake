sonavista_add_test(NAME base_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WeakCallbackTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ObserverListTest.cpp LABELS unit threads)

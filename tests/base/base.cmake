sonavista_add_test(NAME base_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/QueueTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ObserverListTest.cpp LABELS unit threads)

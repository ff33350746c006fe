sonavista_add_test(NAME base_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ManualMainQueueTest.cpp LABELS unit threads)

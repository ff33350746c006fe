# Test doubles of the base ports (a virtual clock, a hand-driven main queue), shared by the
# tests and the benchmarks and kept out of the shipped code.
add_library(sonavista_test_doubles STATIC ${CMAKE_CURRENT_LIST_DIR}/base/ManualMainQueue.cpp)
target_include_directories(sonavista_test_doubles PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(sonavista_test_doubles PUBLIC sonavista_core)

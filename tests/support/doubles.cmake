# Test doubles of the base ports (a virtual clock, a hand-driven main queue), shared by the
# tests and the benchmarks and kept out of the shipped code.
add_library(sonavista_test_doubles INTERFACE)
target_include_directories(sonavista_test_doubles INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(sonavista_test_doubles INTERFACE sonavista_core)

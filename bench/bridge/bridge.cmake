sonavista_add_benchmark(NAME bridge_protocol_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/BridgeProtocolBench.cpp)

# A plain program (its own main): drives a live bridge for the load figures.
add_executable(bridge_load ${CMAKE_CURRENT_LIST_DIR}/BridgeLoadDriver.cpp)
target_link_libraries(bridge_load PRIVATE sonavista_core)

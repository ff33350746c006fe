target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BridgeProtocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserPlaybackBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserSessionTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KernelPeerOwnerLookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlaybackMessage.cpp)
# GCC refuses asio's std::atomic_thread_fence under ThreadSanitizer (-Wtsan) as an error.
if(SONAVISTA_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/BrowserPlaybackBridge.cpp
    TARGET_DIRECTORY sonavista_core PROPERTIES COMPILE_OPTIONS -Wno-tsan)
endif()

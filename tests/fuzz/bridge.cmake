# libFuzzer target over the bridge's request parser and protocol (clang only). The protocol
# sources are compiled into the fuzzer itself so that they carry its coverage instrumentation.
if(SONAVISTA_FUZZ)
  set(bridge_fuzz_sources
    ${PROJECT_SOURCE_DIR}/src/bridge/BridgeProtocol.cpp
    ${PROJECT_SOURCE_DIR}/src/bridge/BrowserSessionTable.cpp
    ${PROJECT_SOURCE_DIR}/src/bridge/PlaybackMessage.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/MusicPlayer.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/MusicPlaybackSnapshot.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/MusicPlaybackState.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/UnicodeLowercase.cpp)
  add_executable(bridge_fuzzer ${CMAKE_CURRENT_LIST_DIR}/BridgeFuzzer.cpp ${bridge_fuzz_sources})
  target_include_directories(bridge_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(bridge_fuzzer PRIVATE nlohmann_json::nlohmann_json)
  target_compile_options(bridge_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(bridge_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)

  # New inputs go to the build tree; the committed seeds are only read.
  set(bridge_fuzz_work ${CMAKE_BINARY_DIR}/fuzz/bridge)
  file(MAKE_DIRECTORY ${bridge_fuzz_work}/corpus ${bridge_fuzz_work}/artifacts)
  add_test(NAME bridge_fuzz
    COMMAND bridge_fuzzer -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -max_len=70000
            -artifact_prefix=${bridge_fuzz_work}/artifacts/
            ${bridge_fuzz_work}/corpus ${CMAKE_CURRENT_LIST_DIR}/corpus/bridge)
  set_tests_properties(bridge_fuzz PROPERTIES LABELS fuzz TIMEOUT 180)
endif()

# libFuzzer target over the settings file parser and the player lookup (clang only). The
# sources are compiled into the fuzzer itself so that they carry its coverage instrumentation.
if(SONAVISTA_FUZZ)
  add_executable(prefs_fuzzer ${CMAKE_CURRENT_LIST_DIR}/SettingsFileFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/src/preferences/SettingsFileFormat.cpp
    ${PROJECT_SOURCE_DIR}/src/preferences/SettingsValue.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/MusicPlayer.cpp
    ${PROJECT_SOURCE_DIR}/src/playback/UnicodeLowercase.cpp)
  target_include_directories(prefs_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(prefs_fuzzer PRIVATE nlohmann_json::nlohmann_json)
  target_compile_options(prefs_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(prefs_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)

  # New inputs go to the build tree; the committed seeds are only read.
  set(prefs_fuzz_work ${CMAKE_BINARY_DIR}/fuzz/prefs)
  file(MAKE_DIRECTORY ${prefs_fuzz_work}/corpus ${prefs_fuzz_work}/artifacts)
  add_test(NAME prefs_fuzz
    COMMAND prefs_fuzzer -max_total_time=30 -timeout=10 -rss_limit_mb=2048 -max_len=8192
            -artifact_prefix=${prefs_fuzz_work}/artifacts/
            ${prefs_fuzz_work}/corpus ${CMAKE_CURRENT_LIST_DIR}/corpus/prefs)
  set_tests_properties(prefs_fuzz PROPERTIES LABELS fuzz TIMEOUT 120)
endif()

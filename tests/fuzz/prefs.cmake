# The settings file parser and the player lookup.
if(SONAVISTA_FUZZ)
  sonavista_add_fuzzer(NAME prefs MAIN ${CMAKE_CURRENT_LIST_DIR}/SettingsFileFuzzer.cpp SECONDS 30 MAX_LEN 8192
    SOURCES preferences/SettingsFileFormat.cpp preferences/SettingsValue.cpp playback/MusicPlayer.cpp)
endif()

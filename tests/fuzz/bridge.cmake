# The bridge's request parser and protocol.
if(SONAVISTA_FUZZ)
  sonavista_add_fuzzer(NAME bridge MAIN ${CMAKE_CURRENT_LIST_DIR}/BridgeFuzzer.cpp SECONDS 60 MAX_LEN 70000
    SOURCES bridge/BridgeProtocol.cpp bridge/BrowserSessionTable.cpp bridge/PlaybackMessage.cpp
            playback/MusicPlayer.cpp playback/MusicPlaybackSnapshot.cpp playback/MusicPlaybackState.cpp
            playback/MprisPlayerIdentity.cpp)
endif()

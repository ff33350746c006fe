target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MusicPlayer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MprisPlayerIdentity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MusicPlaybackState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MusicPlaybackSnapshot.cpp)

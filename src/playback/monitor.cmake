# Playback monitor, its ports and the pure player state queries (core); the /proc and
# PulseAudio adapters; the MPRIS adapters (Qt D-Bus).
target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CachedRunningApplications.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MusicPlaybackMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlayerAudioIdentities.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlayerStateQueries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemNowPlayingRequest.cpp)
target_sources(sonavista_adapters PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProcRunningApplications.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseOutputVolume.cpp)
target_sources(sonavista_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/NowPlayingOwnerTracker.cpp)
if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/MprisNowPlaying.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MprisPlayerRegistry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlaybackDetection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MprisPlayerQuery.cpp)
endif()

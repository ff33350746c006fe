# Overlay panel: layout maths and controller in the core, the X11 window and the
# waveform view as Qt adapters.
target_sources(sonavista_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DesktopCoordinates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayStacking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OverlayWindowController.cpp)
if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QtScreenArrangement.cpp ${CMAKE_CURRENT_LIST_DIR}/QtScreenArrangement.h
    ${CMAKE_CURRENT_LIST_DIR}/VisualizerView.cpp ${CMAKE_CURRENT_LIST_DIR}/VisualizerView.h
    ${CMAKE_CURRENT_LIST_DIR}/X11OverlayWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/X11OverlayWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/X11ShmFrameSurface.cpp ${CMAKE_CURRENT_LIST_DIR}/X11ShmFrameSurface.h)
  target_link_libraries(sonavista_qt PUBLIC PkgConfig::XCB_SHM X11::Xfixes)
endif()

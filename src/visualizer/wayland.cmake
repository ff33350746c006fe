# The overlay panel on Wayland compositors with layer-shell: a client of its own on a second
# connection, with the protocol code generated from the protocol descriptions at build time.
if(SONAVISTA_WITH_QT)
  set(protocols ${CMAKE_BINARY_DIR}/protocols)
  file(MAKE_DIRECTORY ${protocols})
  set(protocol_sources)
  foreach(xml
      ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml
      ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml
      ${PROJECT_SOURCE_DIR}/protocols/wlr-layer-shell-unstable-v1.xml)
    get_filename_component(name ${xml} NAME_WE)
    add_custom_command(
      OUTPUT ${protocols}/${name}-client-protocol.h ${protocols}/${name}-protocol.c
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${protocols}/${name}-client-protocol.h
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${protocols}/${name}-protocol.c
      DEPENDS ${xml} VERBATIM)
    list(APPEND protocol_sources ${protocols}/${name}-client-protocol.h ${protocols}/${name}-protocol.c)
  endforeach()
  # Generated here, where the rules live; the panel includes the headers.
  add_library(sonavista_wayland_protocols STATIC ${protocol_sources})
  target_include_directories(sonavista_wayland_protocols PUBLIC ${protocols})
  target_link_libraries(sonavista_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
  target_sources(sonavista_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/WaylandLayerShellPanel.cpp ${CMAKE_CURRENT_LIST_DIR}/WaylandLayerShellPanel.h
    ${CMAKE_CURRENT_LIST_DIR}/WaylandShmBuffer.cpp ${CMAKE_CURRENT_LIST_DIR}/WaylandShmBuffer.h
    ${CMAKE_CURRENT_LIST_DIR}/WaylandSessionProbe.cpp ${CMAKE_CURRENT_LIST_DIR}/WaylandSessionProbe.h)
  target_link_libraries(sonavista_qt PUBLIC sonavista_wayland_protocols)
  add_dependencies(sonavista_qt sonavista_wayland_protocols)
endif()

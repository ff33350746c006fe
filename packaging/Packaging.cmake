# What the installed application needs beside its executables — manual pages, desktop and
# AppStream metadata, icons, copyright and changelog — and the Debian package CPack makes from
# the install tree. `cmake --install` places everything; `cpack -G DEB` only packs it.
include(GNUInstallDirs)

set(SONAVISTA_MAINTAINER "Sonavista developers <sonavista@users.noreply.github.com>"
    CACHE STRING "Maintainer named in the Debian package")
set(SONAVISTA_HOMEPAGE "https://github.com/sonavista/sonavista" CACHE STRING "Project home page")

# Directories the install creates get 0755 whatever the umask of the machine that builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/sonavista)

# Manual pages, written in scdoc and compressed as Debian wants them. Without scdoc the build
# goes on without them (scripts/package installs it).
find_program(SCDOC scdoc)
find_program(GZIP gzip REQUIRED)
if(SCDOC)
  set(man_pages "")
  foreach(page sonavista sonavista-analyze sonavista-render sonavista-detect)
    set(source ${packaging_dir}/man/${page}.1.scd)
    set(output ${packaging_out}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/man
      COMMAND ${SCDOC} < ${source} > ${packaging_out}/man/${page}.1
      COMMAND ${GZIP} -9nf ${packaging_out}/man/${page}.1
      DEPENDS ${source} VERBATIM)
    list(APPEND man_pages ${output})
  endforeach()
  add_custom_target(sonavista_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: the manual pages are not built")
endif()

add_custom_command(OUTPUT ${packaging_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}
  COMMAND ${GZIP} -9nc ${packaging_dir}/changelog > ${packaging_out}/changelog.gz
  DEPENDS ${packaging_dir}/changelog VERBATIM)
add_custom_target(sonavista_changelog ALL DEPENDS ${packaging_out}/changelog.gz)
install(FILES ${packaging_out}/changelog.gz ${packaging_dir}/copyright DESTINATION ${doc_dir})

if(TARGET sonavista)
  install(FILES ${packaging_dir}/io.github.sonavista.Sonavista.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 48 64 128 256)
    install(FILES ${packaging_dir}/icons/sonavista-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME sonavista.png)
  endforeach()
endif()

# The Debian package: sonavista_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonavista)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SONAVISTA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${SONAVISTA_HOMEPAGE})
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries come from dpkg-shlibdeps; the sound settings program the menu opens is only called
# by name, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pavucontrol)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live waveform of the playing music over the desktop")
# CPack puts the summary in front of this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "While a music player plays, Sonavista draws a live waveform of the music
over the desktop: mirrored bars shaped by loudness, a 96-band spectrum, beat
pulse and tempo, in a transparent band that lets clicks through, or full
screen on a frosted backdrop. Players are found through MPRIS, the running
processes and a browser extension; the sound is read from the default output
through PulseAudio or PipeWire.
.
The package also holds sonavista-analyze, sonavista-render and
sonavista-detect, command-line tools for the analysis, the drawing and the
player detection.")
include(CPack)

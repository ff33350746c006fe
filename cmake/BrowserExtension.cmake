# The browser extension: plain files, no build step. Its manifest.json carries the keys of both
# browser families; each family gets a folder of its own with a manifest of only its keys (see
# ExtensionManifest.cmake), packed as sonavista-chromium.zip and sonavista-firefox.xpi. The
# folders lie in the build folder's extension/ (where the settings window finds them beside the
# executable), and installing puts them under share/sonavista/extension.
set(SONAVISTA_EXTENSION_DIR ${PROJECT_SOURCE_DIR}/extension)
file(GLOB_RECURSE extension_files CONFIGURE_DEPENDS RELATIVE ${SONAVISTA_EXTENSION_DIR}
  ${SONAVISTA_EXTENSION_DIR}/*.js ${SONAVISTA_EXTENSION_DIR}/*.png)
list(SORT extension_files)
list(TRANSFORM extension_files PREPEND ${SONAVISTA_EXTENSION_DIR}/ OUTPUT_VARIABLE extension_inputs)
set(extension_packages)
foreach(browser chromium firefox)
  set(folder ${PROJECT_BINARY_DIR}/extension/${browser})
  if(browser STREQUAL "firefox")
    set(package ${PROJECT_BINARY_DIR}/sonavista-firefox.xpi)
  else()
    set(package ${PROJECT_BINARY_DIR}/sonavista-chromium.zip)
  endif()
  add_custom_command(OUTPUT ${package}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${folder}.tar ${extension_files}
    COMMAND ${CMAKE_COMMAND} -E chdir ${folder} ${CMAKE_COMMAND} -E tar xf ${folder}.tar
    COMMAND ${CMAKE_COMMAND} -E rm ${folder}.tar
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${SONAVISTA_EXTENSION_DIR}/manifest.json -DBROWSER=${browser}
            -DOUTPUT=${folder}/manifest.json -P ${PROJECT_SOURCE_DIR}/cmake/ExtensionManifest.cmake
    COMMAND ${CMAKE_COMMAND} -E chdir ${folder} ${CMAKE_COMMAND} -E tar cf ${package} --format=zip
            manifest.json ${extension_files}
    WORKING_DIRECTORY ${SONAVISTA_EXTENSION_DIR}
    DEPENDS ${extension_inputs} ${SONAVISTA_EXTENSION_DIR}/manifest.json ${PROJECT_SOURCE_DIR}/cmake/ExtensionManifest.cmake
    COMMENT "Packing the browser extension for ${browser}")
  list(APPEND extension_packages ${package})
endforeach()
add_custom_target(browser_extension ALL DEPENDS ${extension_packages})

include(GNUInstallDirs)
install(DIRECTORY ${PROJECT_BINARY_DIR}/extension/chromium ${PROJECT_BINARY_DIR}/extension/firefox
  DESTINATION ${CMAKE_INSTALL_DATADIR}/sonavista/extension)

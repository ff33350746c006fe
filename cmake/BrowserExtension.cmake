# The browser extension: plain files, no build step. The build packs them for the two browser
# families (the same files: one manifest serves both); installing puts the unpacked folder
# where the settings window looks for it.
set(SONAVISTA_EXTENSION_DIR ${PROJECT_SOURCE_DIR}/extension)
file(GLOB_RECURSE extension_files CONFIGURE_DEPENDS RELATIVE ${SONAVISTA_EXTENSION_DIR}
  ${SONAVISTA_EXTENSION_DIR}/*.json ${SONAVISTA_EXTENSION_DIR}/*.js ${SONAVISTA_EXTENSION_DIR}/*.png)
list(SORT extension_files)
set(extension_packages ${PROJECT_BINARY_DIR}/sonavista-chromium.zip ${PROJECT_BINARY_DIR}/sonavista-firefox.xpi)
list(TRANSFORM extension_files PREPEND ${SONAVISTA_EXTENSION_DIR}/ OUTPUT_VARIABLE extension_inputs)
add_custom_command(OUTPUT ${extension_packages}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${PROJECT_BINARY_DIR}/sonavista-chromium.zip --format=zip ${extension_files}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/sonavista-chromium.zip ${PROJECT_BINARY_DIR}/sonavista-firefox.xpi
  # Beside the executable, where the settings window finds it in a build folder.
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/extension
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/extension
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_BINARY_DIR}/extension
          ${CMAKE_COMMAND} -E tar xf ${PROJECT_BINARY_DIR}/sonavista-chromium.zip
  WORKING_DIRECTORY ${SONAVISTA_EXTENSION_DIR}
  DEPENDS ${extension_inputs}
  COMMENT "Packing the browser extension")
add_custom_target(browser_extension ALL DEPENDS ${extension_packages})

include(GNUInstallDirs)
foreach(file ${extension_files})
  get_filename_component(folder ${file} DIRECTORY)
  install(FILES ${SONAVISTA_EXTENSION_DIR}/${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/sonavista/extension/${folder})
endforeach()

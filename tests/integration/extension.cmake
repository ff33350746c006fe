# The browser extension in real headless Chromium and Firefox ESR, watched through sonavista-detect.
if(TARGET sonavista-detect)
  add_test(NAME browser_extension
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/browser_extension.py $<TARGET_FILE:sonavista-detect>
            ${PROJECT_BINARY_DIR})
  # The extension reports to the bridge's fixed port, which the test's detector binds.
  set_tests_properties(browser_extension PROPERTIES LABELS integration TIMEOUT 150
    RESOURCE_LOCK sonavista_bridge_port)
endif()

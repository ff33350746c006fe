sonavista_add_test(NAME app_policy_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppDelegateTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StatusMenuModelTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SoundSettingsCommandTest.cpp)
sonavista_add_test(NAME app_login_item_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/XdgAutostartLoginItemTest.cpp
  LIBS sonavista_adapters)

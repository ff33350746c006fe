sonavista_add_test(NAME app_policy_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppDelegateTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StatusMenuModelTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SoundSettingsCommandTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PlatformChoiceTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TrayNoticeTest.cpp)
sonavista_add_test(NAME app_login_item_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/XdgAutostartLoginItemTest.cpp
  LIBS sonavista_adapters)
if(SONAVISTA_WITH_QT)
  sonavista_add_test(NAME app_qt_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtStatusMenuTest.cpp ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/QtTestApplication.cpp ${PROJECT_SOURCE_DIR}/src/app/resources/app.qrc
    LIBS sonavista_qt)
  set_target_properties(app_qt_test PROPERTIES AUTORCC ON)
endif()

sonavista_add_test(NAME catalogue_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/catalogueMusicPlayerTest.cpp)

if(SONAVISTA_WITH_QT)
  target_sources(sonavista_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/QtMainQueue.cpp ${CMAKE_CURRENT_LIST_DIR}/QtMainQueue.h)
endif()

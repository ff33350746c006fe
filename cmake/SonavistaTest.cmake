include(GoogleTest)

# sonavista_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
# Builds one GoogleTest program and registers each of its tests with CTest.
# Labels: "unit" (default; runs in every configuration, ASan/UBSan included),
# "threads" (also runs under TSan), "integration" (starts real services).
# Every test program sees SONAVISTA_SOURCE_DIR and SONAVISTA_BINARY_DIR in its environment.
function(sonavista_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # gtest_discover_tests splits list-valued properties, so several labels travel as one
  # ("unit+threads"); ctest -L takes a regular expression, so -L unit and -L threads both match.
  string(JOIN "+" T_LABELS ${T_LABELS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} sonavista_core sonavista_test_doubles GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    SONAVISTA_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}" SONAVISTA_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

include(GoogleTest)

# ornr_add_test(<name> SOURCES <files...> LIBS <targets...>): one GoogleTest executable per component.
function(ornr_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ORNR_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()

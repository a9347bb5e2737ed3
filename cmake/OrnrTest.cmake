include(GoogleTest)

# ornr_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]): one GoogleTest
# executable per component. LABELS (default unit; also process, browser, fuzz) let people run a
# part: ctest --preset default -L process.
function(ornr_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ORNR_BUILD_DIR=${PROJECT_BINARY_DIR}"
                                  LABELS "${ARG_LABELS}")
endfunction()

include(GoogleTest)

# The headers that nearly every test file reads, compiled once for all test executables. Its own
# small executable holds the precompiled header, so that it is built as the tests are (-fPIE).
set(ornr_test_pch_main ${PROJECT_BINARY_DIR}/ornr_test_pch.cpp)
file(CONFIGURE OUTPUT ${ornr_test_pch_main} CONTENT "int main() { return 0; }\n")
add_executable(ornr_test_pch ${ornr_test_pch_main})
target_link_libraries(ornr_test_pch PRIVATE GTest::gtest GTest::gmock nlohmann_json::nlohmann_json)
# Tests are code to run once, not to run fast: they are compiled lightly, with line tables only,
# which halves their share of the optimised build. The product keeps its flags.
set(ornr_test_flags "$<$<CONFIG:RelWithDebInfo,Release>:-O1;-g1>$<$<CONFIG:Debug>:-g1>")
target_compile_options(ornr_test_pch PRIVATE "${ornr_test_flags}")
if(ORNR_PCH)
  target_precompile_headers(ornr_test_pch PRIVATE
    <gtest/gtest.h> <gmock/gmock.h> <nlohmann/json.hpp>
    <algorithm> <chrono> <filesystem> <fstream> <functional> <map> <memory> <optional> <set>
    <sstream> <string> <string_view> <thread> <vector>)
endif()

# ornr_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMING <filter>]):
# a GoogleTest executable; a folder of tests keeps one for all the files that link the same
# libraries. LABELS (default unit; also process, browser, fuzz) let people run a part:
# ctest --preset default -L process. TIMING is a GoogleTest filter (Suite.*:Suite.Name) of the
# tests that wait on a clock or race another process: they also carry the label timing, which
# scripts/flake-hunt.sh runs again and again under load.
function(ornr_add_test name)
  cmake_parse_arguments(ARG "" "TIMING" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE "${ornr_test_flags}")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        nlohmann_json::nlohmann_json)
  if(ORNR_PCH)
    target_precompile_headers(${name} REUSE_FROM ornr_test_pch)
    # A header that no longer matches would be read whole, silently slow: say so.
    target_compile_options(${name} PRIVATE -Wno-error=invalid-pch)
  endif()
  set(discover DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  set(environment ENVIRONMENT "ORNR_BUILD_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_TIMING)
    gtest_discover_tests(${name} ${discover} TEST_FILTER "-${ARG_TIMING}"
                         PROPERTIES ${environment} LABELS "${ARG_LABELS}")
    gtest_discover_tests(${name} ${discover} TEST_FILTER "${ARG_TIMING}" TEST_LIST ${name}_timing
                         PROPERTIES ${environment} LABELS "${ARG_LABELS}")
    # A second label cannot pass through the discovery's properties: it is added once ctest
    # has listed the tests.
    list(APPEND ARG_LABELS timing)
    file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}_timing.cmake CONTENT
         "if(${name}_timing)\n  set_tests_properties(\${${name}_timing} PROPERTIES LABELS \"${ARG_LABELS}\")\nendif()\n"
         @ONLY)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
                 ${CMAKE_CURRENT_BINARY_DIR}/${name}_timing.cmake)
  else()
    gtest_discover_tests(${name} ${discover} PROPERTIES ${environment} LABELS "${ARG_LABELS}")
  endif()
endfunction()

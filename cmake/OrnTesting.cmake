# orn_add_gtest(<target> SOURCES <files...> LIBS <libraries...>)
# Builds one GoogleTest executable and registers each of its tests with ctest.
find_package(GTest QUIET)
include(GoogleTest)

function(orn_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${target} PRIVATE
    ORN_SOURCE_DIR="${PROJECT_SOURCE_DIR}" ORN_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

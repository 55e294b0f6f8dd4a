# selvik_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [PROPERTIES <k v...>])
# Builds one GoogleTest executable and registers each of its test cases with CTest.
find_package(GTest REQUIRED)
include(GoogleTest)

set(SELVIK_TEST_DATA_DIR "${CMAKE_SOURCE_DIR}/tests/data")

function(selvik_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_compile_definitions(${T_NAME} PRIVATE
    SELVIK_TEST_DATA_DIR="${SELVIK_TEST_DATA_DIR}"
    SELVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SELVIK_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX "${T_NAME}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ${T_PROPERTIES})
endfunction()

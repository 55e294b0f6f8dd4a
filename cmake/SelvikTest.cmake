# selvik_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [PROPERTIES <k v...>])
# Builds one GoogleTest executable and registers each of its test cases with CTest.
#
# GoogleTest comes installed for the build machine (libgtest-dev). A cross
# build cannot link that, so it builds Debian's GoogleTest sources
# (/usr/src/googletest, package googletest) for the target instead; so does
# any build that finds no installed GoogleTest. Test binaries of a cross build
# run through CMAKE_CROSSCOMPILING_EMULATOR, for discovery as for the tests.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  set(SELVIK_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
      "GoogleTest sources, built with the tests when no GoogleTest for the target is installed")
  if(NOT EXISTS "${SELVIK_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest for the target and no sources in ${SELVIK_GTEST_SOURCE_DIR}"
                        " (Debian package libgtest-dev)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${SELVIK_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  foreach(_gtest_lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_gtest_lib})
      add_library(GTest::${_gtest_lib} ALIAS ${_gtest_lib})
    endif()
  endforeach()
endif()
include(GoogleTest)

set(SELVIK_TEST_DATA_DIR "${CMAKE_SOURCE_DIR}/tests/data")

# Emulated floating-point code runs some fifty times slower than native code.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(_selvik_test_timeout 1500)
else()
  set(_selvik_test_timeout 300)
endif()

function(selvik_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_compile_definitions(${T_NAME} PRIVATE
    SELVIK_TEST_DATA_DIR="${SELVIK_TEST_DATA_DIR}"
    SELVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SELVIK_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # For the few tests that depend on the process running on the real kernel.
    target_compile_definitions(${T_NAME} PRIVATE SELVIK_TEST_UNDER_EMULATOR=1)
  endif()
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX "${T_NAME}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${_selvik_test_timeout} ${T_PROPERTIES})
endfunction()

# Test plumbing shared by every test folder.
#
# GoogleTest is built from the Debian sources inside this project, for the
# native and the MinGW build alike. Windows test programs run under Wine:
# CTest starts them through CMAKE_CROSSCOMPILING_EMULATOR (scripts/wine-run),
# and the "wine" fixture brings up the display, the wineserver and the prefix
# before the first of them and stops all of it after the last.

if(EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
  set(VINTRA_TESTS ON)
else()
  set(VINTRA_TESTS OFF)
  message(STATUS "GoogleTest sources not found in ${GTEST_SOURCE_DIR}: tests are not built")
endif()

if(VINTRA_TESTS)
  enable_testing()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

set(VINTRA_WINE_HOME ${CMAKE_BINARY_DIR}/wine)
set(VINTRA_SCRIPTS ${PROJECT_SOURCE_DIR}/scripts)

if(VINTRA_TESTS AND CMAKE_CROSSCOMPILING AND WIN32)
  add_test(NAME wine_session_start COMMAND ${VINTRA_SCRIPTS}/wine-session start ${VINTRA_WINE_HOME})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
  add_test(NAME wine_session_stop COMMAND ${VINTRA_SCRIPTS}/wine-session stop ${VINTRA_WINE_HOME})
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# vintra_add_gtest(NAME SOURCES ... LIBS ... [TIMEOUT s])
# One GoogleTest program registered as one CTest test. Under the cross build it
# runs under Wine and needs the wine fixture.
function(vintra_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(CMAKE_CROSSCOMPILING AND WIN32)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "VINTRA_WINE_HOME=${VINTRA_WINE_HOME}")
  endif()
endfunction()

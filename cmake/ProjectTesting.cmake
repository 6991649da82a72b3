# GoogleTest from the sources of Debian's googletest package, built with our
# compiler for whichever configuration this is.
set(GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found at ${GOOGLETEST_SOURCE_DIR}; run scripts/setup")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory("${GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
if(PROJECT_SANITIZE)
  foreach(t gtest gtest_main gmock gmock_main)
    target_link_libraries(${t} PUBLIC project_sanitizers)
  endforeach()
endif()
include(GoogleTest)

# Test code is built for a short build rather than for speed: it runs once
# per test run, and most of that time goes to waiting, not computing. (The
# code under test keeps its configuration's optimisation.)
add_library(project_test_code INTERFACE)
target_compile_options(project_test_code INTERFACE $<$<CONFIG:RelWithDebInfo,Release>:-O0 -g0> $<$<CONFIG:Debug>:-O0>)
foreach(t gtest gtest_main gmock gmock_main)
  target_link_libraries(${t} PRIVATE project_test_code)
endforeach()

# One precompiled header with GoogleTest, GoogleMock and the standard headers
# the tests use, built once per configuration and reused by every test
# program. GCC's only: a clang precompiled header holds the absolute paths of
# its clone, so ccache could never reuse a compilation that reads it in
# another clone (CI's fresh one), and a cold native build without it takes
# only about 20 s longer.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU")
  add_library(project_test_pch OBJECT "${CMAKE_CURRENT_LIST_DIR}/test_pch.cpp")
  target_link_libraries(project_test_pch PRIVATE project_options project_test_code GTest::gmock)
  target_precompile_headers(project_test_pch PRIVATE
    <gtest/gtest.h> <gmock/gmock.h>
    <algorithm> <array> <atomic> <chrono> <cstdint> <cstring> <filesystem> <fstream> <functional> <map>
    <memory> <mutex> <optional> <random> <set> <sstream> <string> <string_view> <thread> <vector>)
endif()

# Test code of one target: the build options above and the shared header.
function(project_test_target name)
  target_link_libraries(${name} PRIVATE project_test_code)
  if(TARGET project_test_pch)
    target_precompile_headers(${name} REUSE_FROM project_test_pch)
  endif()
endfunction()

# add_project_test(NAME sources... [LIBS libs...] [ENV var=value...] [LABELS ...])
# One test program; each of its cases becomes a CTest test. Under Wine the
# cases are listed when CTest runs, not at build time.
function(add_project_test name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE project_options GTest::gmock_main ${arg_LIBS})
  project_test_target(${name})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 60)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${arg_TIMEOUT} ENVIRONMENT "${arg_ENV}" LABELS "${arg_LABELS}" ${arg_PROPERTIES})
endfunction()

# add_fuzz_target(NAME SOURCES driver... LIBS libs... MAX_LEN n [TEST test-name])
# A libFuzzer program (native clang builds only): its driver linked with the
# libraries that hold the code it fuzzes. The native configuration compiles
# everything with libFuzzer's coverage instrumentation (ProjectOptions.cmake),
# so each source is compiled once and the fuzzer sees its coverage. Its seed
# corpus is tests/reliability/fuzz/corpus/NAME; CTest runs it for a few
# seconds, writing what it finds beside the build, never into the tree.
# Every target is listed in fuzz-targets.txt in the build folder for the long
# runs (tests/reliability/fuzz/run-long.sh).
function(add_fuzz_target name)
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  cmake_parse_arguments(arg "" "MAX_LEN;TEST" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE project_options ${arg_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(seeds "${PROJECT_SOURCE_DIR}/tests/reliability/fuzz/corpus/${name}")
  set(found "${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus")
  file(MAKE_DIRECTORY "${found}")
  if(arg_TEST)
    add_test(NAME ${arg_TEST}
      COMMAND ${name} -max_total_time=3 -max_len=${arg_MAX_LEN} -timeout=10 -seed=1
              "-artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${name}-" "${found}" "${seeds}")
    set_tests_properties(${arg_TEST} PROPERTIES TIMEOUT 60 LABELS fuzz)
  endif()
  set_property(GLOBAL APPEND PROPERTY PROJECT_FUZZ_TARGETS "${name} $<TARGET_FILE:${name}> ${arg_MAX_LEN} ${seeds}")
endfunction()

# Writes the list of fuzz targets (call once, after every add_fuzz_target).
function(write_fuzz_target_list)
  get_property(targets GLOBAL PROPERTY PROJECT_FUZZ_TARGETS)
  if(NOT targets)
    return()
  endif()
  list(JOIN targets "\n" text)
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/fuzz-targets.txt" CONTENT "${text}\n")
endfunction()

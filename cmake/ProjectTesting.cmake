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

# add_project_test(NAME sources... [LIBS libs...] [ENV var=value...] [LABELS ...])
# One test program; each of its cases becomes a CTest test. Under Wine the
# cases are listed when CTest runs, not at build time.
function(add_project_test name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE project_options GTest::gmock_main ${arg_LIBS})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 60)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${arg_TIMEOUT} ENVIRONMENT "${arg_ENV}" LABELS "${arg_LABELS}" ${arg_PROPERTIES})
endfunction()

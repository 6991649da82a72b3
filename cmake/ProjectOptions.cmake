# Compiler settings shared by every target of ours (not by third-party code).
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Wunused -Woverloaded-virtual
  -Wformat=2 -Werror)
# GCC 12 reports overlapping copies inside std::string's operator+ at -O3
# (Release) that cannot happen (GCC bug 105329); it broke every release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(project_warnings INTERFACE $<$<CONFIG:Release>:-Wno-restrict>)
endif()

# Platform-free code is also built natively with sanitizers.
option(PROJECT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
add_library(project_sanitizers INTERFACE)
if(PROJECT_SANITIZE)
  target_compile_options(project_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(project_sanitizers INTERFACE -fsanitize=address,undefined)
  # With clang everything also carries libFuzzer's coverage instrumentation,
  # so the fuzz targets link the very libraries the tests use (the
  # sanitizers' runtime answers the coverage calls in every other program).
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(project_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
  endif()
endif()

add_library(project_options INTERFACE)
target_link_libraries(project_options INTERFACE project_warnings project_sanitizers)
target_compile_features(project_options INTERFACE cxx_std_20)
if(WIN32)
  # Unicode Win32 declarations, no min/max macros, Windows 7 API level.
  target_compile_definitions(project_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

# ccache, when installed, keeps repeated builds on one machine short; the
# launcher gives it the settings for precompiled headers and clones.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER "${CMAKE_CURRENT_LIST_DIR}/ccache-launcher")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${CMAKE_CURRENT_LIST_DIR}/ccache-launcher")
endif()

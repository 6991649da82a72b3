# Shared by the two Windows toolchain files, which set MINGW_TRIPLE and
# MINGW_WINE_ARCH first. mingw-w64 with the posix thread model (the win32 model
# lacks std::mutex and std::thread); the C and C++ runtimes are linked
# statically so the binaries need Windows system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
# Tools the build and the byte-level tests call by name.
set(MINGW_OBJDUMP ${MINGW_TRIPLE}-objdump CACHE STRING "objdump of the cross toolchain")
set(MINGW_DLLTOOL ${MINGW_TRIPLE}-dlltool CACHE STRING "dlltool of the cross toolchain")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under the Wine of their width through our wrapper, which
# owns the prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;--${MINGW_WINE_ARCH}")

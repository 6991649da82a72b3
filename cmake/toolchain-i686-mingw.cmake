# Cross build for 32-bit Windows (the deliverables' own width), run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_WINE_ARCH win32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake")

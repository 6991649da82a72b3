# Cross build for 64-bit Windows: the 64-bit Quorlane.dll for 64-bit hosts, and
# the whole tree's tests under 64-bit Wine, which runs on every x86-64 host.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_WINE_ARCH win64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake")

# The 32-bit Windows build (the product): i686-w64-mingw32, run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The 64-bit Windows build: x86_64-w64-mingw32, run under wine64 (the only Wine on machines
# that cannot execute 32-bit code).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

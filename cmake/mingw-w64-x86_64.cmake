# Cross-build for 64-bit Windows with the posix-thread flavour of mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests run under wine; the caller picks the prefix through WINEPREFIX.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Cross-build for 32-bit Windows with the posix-thread flavour of mingw-w64:
# only the fake game, which must be a 32-bit program like the real client.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CORVANE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Wine's 32-bit loader; the caller picks the prefix through WINEPREFIX.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)

# Cross toolchain: the 32-bit Windows-side tests with MinGW-w64 (posix thread model, which
# GoogleTest needs for std::mutex), run under 32-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under 32-bit Wine in the test root; scripts/test provides it, WINEPREFIX, DISPLAY.
get_filename_component(QUARL_WINE "${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARL_WINE})

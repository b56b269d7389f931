# Cross toolchain: 64-bit Windows test build with MinGW-w64, run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run through the Wine of the test root; scripts/test provides it, WINEPREFIX and DISPLAY.
get_filename_component(QUARL_WINE "${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARL_WINE})

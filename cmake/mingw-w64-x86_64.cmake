# Cross-compiling for 64-bit Windows from Debian with MinGW-w64 (the
# packages g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64).
# Used by tools/build-windows.sh:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BREVALT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${BREVALT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVALT_MINGW_PREFIX}-windres)
# Headers and libraries come from the MinGW tree only; programs run at
# build time are the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${BREVALT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Cross build for 32-bit Windows with MinGW-w64 (Debian packages mingw-w64,
# g++-mingw-w64-i686). See mingw-x86_64.cmake.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
set(KW_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Cross build for 64-bit Windows with MinGW-w64 (Debian packages mingw-w64,
# g++-mingw-w64-x86-64). The -posix compilers are required: the library uses
# std::mutex, which the win32 thread model of GCC 12 lacks.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake
#
# Tests run under Wine through cmake/wine-run.sh.
set(KW_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

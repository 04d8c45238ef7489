# Shared part of the MinGW-w64 toolchain files; KW_MINGW_TRIPLET names the
# target (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
if(KW_MINGW_TRIPLET MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

set(CMAKE_C_COMPILER ${KW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KW_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime. On x86_64 exceptions unwind through the system's tables,
# so every module can carry its own static copy of libgcc, libstdc++ and
# winpthread, and the binaries need nothing beside the system DLLs. On i686
# GCC unwinds with DWARF tables registered with one libgcc: a C++ exception
# that a host throws through the library only unwinds if both share the
# runtime DLLs (libgcc_s_dw2-1.dll, libstdc++-6.dll, libwinpthread-1.dll),
# so those are used there; Wine finds them through WINEPATH, and a host
# ships them next to MaskSchedule.dll.
set(KW_WINE_DLL_PATH "")
if(KW_MINGW_TRIPLET MATCHES "^x86_64")
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
  set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
else()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_dw2-1.dll
    OUTPUT_VARIABLE _kw_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_kw_libgcc_dir "${_kw_libgcc}" DIRECTORY)
  set(KW_WINE_DLL_PATH "${_kw_libgcc_dir}:/usr/${KW_MINGW_TRIPLET}/lib")
endif()

# Every executable and the DLL in one folder, so that tests find
# MaskSchedule.dll (and the runtime DLLs) next to themselves.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin CACHE PATH "")

# ctest runs the test programs under Wine.
get_filename_component(_kw_wine_run ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_kw_wine_run} "--dll-path=${KW_WINE_DLL_PATH}")

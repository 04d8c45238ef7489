# Installs the built library into a scratch prefix, then builds and runs a
# small host against the installed files: once through find_package and once
# through pkg-config.
# Inputs: SOURCE_DIR, BINARY_DIR, WORK_DIR.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

# find_package(MaskSchedule)
set(host_src ${SOURCE_DIR}/tests/package/host)
run(${CMAKE_COMMAND} -S ${host_src} -B ${WORK_DIR}/host-cmake -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-cmake)
run(${WORK_DIR}/host-cmake/package_host)
if(NOT last_output MATCHES "package host: ok")
  message(FATAL_ERROR "unexpected host output: ${last_output}")
endif()

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
find_program(CXX_COMPILER NAMES c++ g++ REQUIRED)
file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
list(GET pc_dirs 0 pc_dir)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs MaskSchedule)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
string(REGEX MATCH "-L[^ ;]+" libdir_flag "${flags}")
string(SUBSTRING "${libdir_flag}" 2 -1 libdir)
run(${CXX_COMPILER} -std=c++17 ${host_src}/main.cpp ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/package_host_pc)
run(${WORK_DIR}/package_host_pc)
if(NOT last_output MATCHES "package host: ok")
  message(FATAL_ERROR "unexpected host output (pkg-config): ${last_output}")
endif()
message(STATUS "installed package works")

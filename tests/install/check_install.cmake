# Installs the build into a fresh prefix and builds two C hosts against it the two usual ways,
# pkg-config and CMake's find_package: one of the main library (SOURCE) and one of the
# conversion library (CONVERT_SOURCE); then runs them.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()

# Builds `source` into WORK_DIR/`output` with the flags pkg-config gives for `package`.
function(build_with_pkg_config package source output)
  execute_process(COMMAND pkg-config --cflags --libs ${package}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know ${package}")
  endif()
  separate_arguments(flags)
  execute_process(COMMAND cc -std=c11 -Wall -Werror ${source} ${flags} -o ${WORK_DIR}/${output}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${source} does not build with the pkg-config flags of ${package}")
  endif()
endfunction()

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
build_with_pkg_config(TarvikMF4Access ${SOURCE} host_pc)
build_with_pkg_config(TarvikMF4Convert ${CONVERT_SOURCE} convert_host_pc)

file(WRITE ${WORK_DIR}/cmake-host/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(host C)\n"
  "find_package(TarvikMF4Access REQUIRED)\nadd_executable(host ${SOURCE})\n"
  "target_link_libraries(host TarvikMF4Access::TarvikMF4Access)\n"
  "add_executable(convert_host ${CONVERT_SOURCE})\n"
  "target_link_libraries(convert_host TarvikMF4Access::TarvikMF4Convert)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK_DIR}/cmake-host -B ${WORK_DIR}/cmake-host/build
                        -DCMAKE_PREFIX_PATH=${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-host/build
                  RESULT_VARIABLE rc OUTPUT_QUIET)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the host does not build with find_package(TarvikMF4Access)")
endif()

# The example reads a file that does not exist and must report exactly one finding 141.
set(ENV{LD_LIBRARY_PATH} ${prefix}/lib)
execute_process(COMMAND ${WORK_DIR}/cmake-host/build/host OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT out STREQUAL "error 141\n")
  message(FATAL_ERROR "unexpected output of the installed host: ${out}")
endif()
# 40 and 65 degrees plus 40 are 0 and 25 degrees, as numbers and as texts.
foreach(host ${WORK_DIR}/cmake-host/build/convert_host ${WORK_DIR}/convert_host_pc)
  execute_process(COMMAND ${host} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT out STREQUAL "0 25 25\n")
    message(FATAL_ERROR "unexpected output of ${host}: ${out} (exit code ${rc})")
  endif()
endforeach()
message(STATUS "installed libraries found through pkg-config and find_package")

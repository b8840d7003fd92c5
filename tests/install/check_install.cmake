# Installs the build into a fresh prefix and builds a C host against it the two usual ways:
# pkg-config and CMake's find_package, then runs the host.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs TarvikMF4Access
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know TarvikMF4Access")
endif()
separate_arguments(flags)
execute_process(COMMAND cc -std=c11 -Wall -Werror ${SOURCE} ${flags} -o ${WORK_DIR}/host_pc
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the host does not build with the pkg-config flags")
endif()

file(WRITE ${WORK_DIR}/cmake-host/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(host C)\n"
  "find_package(TarvikMF4Access REQUIRED)\nadd_executable(host ${SOURCE})\n"
  "target_link_libraries(host TarvikMF4Access::TarvikMF4Access)\n")
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
message(STATUS "installed library found through pkg-config and find_package")

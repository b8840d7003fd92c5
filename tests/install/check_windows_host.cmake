# Builds tests/install/windows_host.c with the mingw C compiler against the public header and the
# import library, as a Windows host would, and runs it under Wine on a corpus file with known
# findings: a result of 1 and its three warnings, messages from the file beside the DLL.
#   cmake -DCC=<mingw gcc> -DRUNNER=<wine> -DSOURCE=<windows_host.c> -DINCLUDE=<include>
#         -DIMPORT_LIBRARY=<TarvikMF4Access.lib> -DBIN_DIR=<folder of the DLL> -DCORPUS=<corpus> -P <this>
set(file ${CORPUS}/PEA32_v400_KonvektionKalt1.mf4)
if(NOT EXISTS ${file})
  message(STATUS "corpus absent")
  return()
endif()
# The program lies beside the DLL, where Windows looks for it first.
set(host ${BIN_DIR}/windows_host.exe)
execute_process(COMMAND ${CC} -std=c11 -Wall -Werror -municode -I${INCLUDE} ${SOURCE} ${IMPORT_LIBRARY} -o ${host}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${SOURCE} does not build against the header and ${IMPORT_LIBRARY}")
endif()
execute_process(COMMAND ${RUNNER} ${host} ${file} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REPLACE "\r\n" "\n" out "${out}")
set(expected "result 1, 0 groups\n"
    "warning 124: The file ${file} has a channel group whose records carry invalidation bytes. CG Block at 0x2D8, cg_inval_bytes: 1\n"
    "warning 110: The file ${file} has channels whose names occur more than once in the same channel group, or virtual master channels: FreqIdx(1).FreqIdx(1)/t\n"
    "warning 132: The file ${file} has a channel group without a master channel. CGBlock at 0x2D8\n")
string(JOIN "" expected ${expected})
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "the Windows host printed (exit code ${rc}):\n${out}\nexpected:\n${expected}")
endif()
message(STATUS "a C host reads through the DLL")

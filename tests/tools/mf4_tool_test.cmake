# Runs the built mf4 tool for one case and checks its exit code and what it prints.
#   cmake -DMF4=<tool> -DCASE=<case> -DEXAMPLE=<examples/minimal.mf4> -DWORK_DIR=<dir>
#         [-DCORPUS=<shared/corpus>] -P <this>
cmake_minimum_required(VERSION 3.25)

foreach(required MF4 CASE EXAMPLE WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

# Runs mf4 with the given arguments; sets exit_code, stdout and stderr in the caller's scope.
function(run_mf4)
  execute_process(COMMAND ${MF4} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  set(exit_code "${code}" PARENT_SCOPE)
  set(stdout "${out}" PARENT_SCOPE)
  set(stderr "${err}" PARENT_SCOPE)
endfunction()

function(expect_exit expected)
  if(NOT exit_code STREQUAL expected)
    message(FATAL_ERROR "exit code ${exit_code}, expected ${expected}\n"
                        "stdout:\n${stdout}\nstderr:\n${stderr}")
  endif()
endfunction()

# Fails unless `text` matches the regular expression `pattern`.
function(expect_match text pattern what)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what} does not match '${pattern}':\n${text}")
  endif()
endfunction()

# Reads one value out of the JSON document in `json`; a parse error fails the test.
function(json_get result json)
  string(JSON value ERROR_VARIABLE error GET "${json}" ${ARGN})
  if(error)
    message(FATAL_ERROR "JSON: ${error}\n${json}")
  endif()
  set(${result} "${value}" PARENT_SCOPE)
endfunction()

function(expect_json json expected)
  json_get(value "${json}" ${ARGN})
  if(NOT value STREQUAL expected)
    message(FATAL_ERROR "JSON ${ARGN}: '${value}', expected '${expected}'")
  endif()
endfunction()

# Fails unless the array at the given path has `expected` entries.
function(expect_json_length json expected)
  string(JSON length ERROR_VARIABLE error LENGTH "${json}" ${ARGN})
  if(error OR NOT length EQUAL expected)
    message(FATAL_ERROR "JSON ${ARGN}: ${length} entries, expected ${expected} ${error}")
  endif()
endfunction()

# Every array of the tree holds as many entries as its count field says.
function(expect_counts_match json)
  foreach(pair channels:channelCount groups:groupCount conversions:conversionCount
               attachments:attachmentCount headerProperties:headerPropertyCount
               events:eventCount history:historyCount)
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 array)
    list(GET pair 1 count)
    json_get(expected "${json}" ${count})
    expect_json_length("${json}" ${expected} ${array})
  endforeach()
endfunction()

# Checks of particular corpus files, each feature where a file is known to show it.
function(check_corpus_details corpus)
  run_mf4(info --json ${corpus}/Vector_Value2TextConversion.mf4)
  expect_json("${stdout}" "7" conversions 0 conversionType)
  expect_json_length("${stdout}" 5 conversions 0 parameters valueTexts)
  expect_json("${stdout}" "first gear" conversions 0 parameters valueTexts 0 text)

  run_mf4(info --json ${corpus}/Vector_LinearConversion.mf4)
  expect_json("${stdout}" "1" conversions 0 conversionType)
  expect_json_length("${stdout}" 2 conversions 0 parameters linear)

  run_mf4(info --json ${corpus}/Vector_Embedded.MF4)
  expect_json_length("${stdout}" 3 attachments)
  expect_json("${stdout}" "ON" attachments 0 hasData)
  string(JSON data ERROR_VARIABLE no_data GET "${stdout}" attachments 0 data)
  if(NOT no_data)
    message(FATAL_ERROR "attachment bytes were dumped")
  endif()

  run_mf4(info --json ${corpus}/dSPACE_Bookmarks.mf4)
  expect_json_length("${stdout}" 6 events)
  expect_json("${stdout}" "6" events 0 eventType)
  run_mf4(info --json --no-events ${corpus}/dSPACE_Bookmarks.mf4)
  expect_json_length("${stdout}" 0 events)

  run_mf4(info ${corpus}/asammdf_demo_arrays_vlsd.mf4)
  expect_exit(0)
  expect_match("${stdout}" "\n +member level41 +f64" "nested member")
  expect_match("${stdout}" "\n +array +2 x 3 \\(look-up\\)\n" "array line")
  expect_match("${stdout}" "conversion \\[5\\] unsupported" "unsupported conversion")
  expect_match("${stdout}" "\n  warning 119: [^\n]+\n" "finding")
endfunction()

if(CASE STREQUAL "info_text")
  run_mf4(info ${EXAMPLE})
  expect_exit(0)
  expect_match("${stdout}" "\\[0\\] Example 10 ms\n" "group line")
  expect_match("${stdout}" "\\] Sine +f64, 64 bits at byte 8, unit \"V\"\n" "Sine line")
  expect_match("${stdout}" "\\] Counter +u8, 8 bits at byte 16\n" "Counter line")
  expect_match("${stdout}" "Format +MDF 4\\.10" "format line")
  expect_match("${stdout}" "Start +2025-12-05T16:00:00\\.000000000Z \\(UTC\\)" "start line")
  expect_match("${stdout}" "Findings: 0 errors, 0 warnings" "findings summary")

elseif(CASE STREQUAL "info_json")
  foreach(options "--json" "--json;--no-events")
    run_mf4(info ${options} ${EXAMPLE})
    expect_exit(0)
    expect_json("${stdout}" "Example 10 ms" groups 0 acquisitionName)
    expect_json("${stdout}" "100" groups 0 cycleCount)
    json_get(channel_count "${stdout}" channelCount)
    string(JSON length LENGTH "${stdout}" channels)
    if(NOT length EQUAL channel_count OR NOT length EQUAL 2)
      message(FATAL_ERROR "channels: ${length} entries, channelCount ${channel_count}")
    endif()
    expect_json("${stdout}" "Sine" channels 0 name)
    expect_json("${stdout}" "Counter" channels 1 name)
    expect_json("${stdout}" "V" channels 0 unit)
    # Indices stay numbers, -1 included; absent texts are null.
    expect_json("${stdout}" "-1" channels 1 conversion)
    string(JSON type TYPE "${stdout}" channels 1 conversion)
    string(JSON unit_type TYPE "${stdout}" channels 1 unit)
    if(NOT type STREQUAL "NUMBER" OR NOT unit_type STREQUAL "NULL")
      message(FATAL_ERROR "conversion is ${type}, missing unit is ${unit_type}")
    endif()
    expect_json("${stdout}" "410" formatVersion)
    expect_json("${stdout}" "0" result)
    string(JSON type TYPE "${stdout}" findings)
    string(JSON events TYPE "${stdout}" events)
    if(NOT type STREQUAL "ARRAY" OR NOT events STREQUAL "ARRAY")
      message(FATAL_ERROR "findings is ${type}, events is ${events}")
    endif()
  endforeach()

elseif(CASE STREQUAL "check_example")
  run_mf4(check ${EXAMPLE})
  expect_exit(0)
  expect_match("${stdout}" "minimal\\.mf4: 0 errors, 0 warnings\n$" "summary")

elseif(CASE STREQUAL "check_missing")
  # A line break in the path must not break the finding's line.
  run_mf4(check "${WORK_DIR}/missing\nfile.mf4")
  expect_exit(1)
  expect_match("${stdout}" "(^|\n)error 141: [^\n]*missing file\\.mf4[^\n]*\n" "finding line")
  expect_match("${stdout}" "\n[^\n]*/missing file\\.mf4: 1 error, 0 warnings\n$" "summary")

elseif(CASE STREQUAL "check_not_mdf")
  run_mf4(check ${CMAKE_CURRENT_LIST_FILE})
  expect_exit(1)
  expect_match("${stdout}"
               "^error 102: [^\n]*mf4_tool_test\\.cmake[^\n]*\n[^\n]*: 1 error, 0 warnings\n$"
               "output")

elseif(CASE STREQUAL "info_missing")
  run_mf4(info --json "${WORK_DIR}/missing.mf4")
  expect_exit(1)
  if(NOT stdout STREQUAL "")
    message(FATAL_ERROR "nothing belongs on stdout, got:\n${stdout}")
  endif()
  expect_match("${stderr}" "error 141: [^\n]*missing\\.mf4" "finding")
  expect_match("${stderr}" "mf4: cannot read [^\n]*missing\\.mf4 \\(1 error, 0 warnings\\)"
               "error line")

elseif(CASE STREQUAL "usage")
  run_mf4()
  expect_exit(2)
  run_mf4(info)
  expect_exit(2)
  run_mf4(info ${EXAMPLE} --unknown-option)
  expect_exit(2)
  run_mf4(--help)
  expect_exit(0)
  expect_match("${stdout}" "Exit codes: 0 [^\n]*1 [^\n]*2 wrong command line" "help footer")

elseif(CASE STREQUAL "corpus")
  if(NOT DEFINED CORPUS OR NOT IS_DIRECTORY "${CORPUS}")
    message("corpus absent: skipped")
    return()
  endif()
  file(GLOB files "${CORPUS}/*.mf4" "${CORPUS}/*.MF4" "${CORPUS}/external/*.MF4")
  foreach(file IN LISTS files)
    run_mf4(info --json ${file})
    if(stdout STREQUAL "")
      # An unreadable file explains itself on stderr, and only there.
      expect_exit(1)
      expect_match("${stderr}" "mf4: cannot read [^\n]+\\([1-9][0-9]* errors?," "${file}")
    else()
      expect_counts_match("${stdout}")
    endif()
  endforeach()
  check_corpus_details(${CORPUS})

else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

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

# Fails unless `text`, every run of spaces squeezed to one, is `expected`: checks a whole
# table without depending on its column widths.
function(expect_table text expected what)
  string(REGEX REPLACE " +" " " squeezed "${text}")
  if(NOT squeezed STREQUAL expected)
    message(FATAL_ERROR "${what}:\n${text}\nexpected (spaces squeezed):\n${expected}")
  endif()
endfunction()

# Fails unless mf4 ends with `expected` and prints nothing on stdout.
function(expect_refused expected)
  run_mf4(${ARGN})
  if(NOT exit_code STREQUAL expected OR NOT stdout STREQUAL "")
    message(FATAL_ERROR "mf4 ${ARGN}: exit code ${exit_code}, expected ${expected}\n"
                        "stdout:\n${stdout}\nstderr:\n${stderr}")
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

elseif(CASE STREQUAL "dump_by_index")
  # Exact shortest forms: the generator stores sin(2 pi i / 100) and i * 0.01.
  run_mf4(dump ${EXAMPLE} --channel Sine --from 0 --count 3)
  expect_exit(0)
  expect_match("${stdout}"
               "^time +Sine\n0 +0\n0\\.01 +0\\.06279051952931337\n0\\.02 +0\\.12533323356430426\n$"
               "table")
  # Every channel of group 0 by default, in the order of the tree.
  run_mf4(dump ${EXAMPLE} --from 99)
  expect_exit(0)
  expect_match("${stdout}" "^time +Sine +Counter\n0\\.99 +-0\\.06279051952931326 +99\n$"
               "last row")

elseif(CASE STREQUAL "dump_by_time")
  run_mf4(dump ${EXAMPLE} --channel Counter --start 0.5 --end 0.52)
  expect_exit(0)
  expect_match("${stdout}" "^time +Counter\n0\\.5 +50\n0\\.51 +51\n0\\.52 +52\n$" "table")
  run_mf4(dump ${EXAMPLE} --channel Counter --start 0.5 --end 0.52 --neighbours)
  expect_exit(0)
  expect_match("${stdout}" "^time +Counter\n0\\.49 +49\n(.*\n)?0\\.53 +53\n$" "widened table")

elseif(CASE STREQUAL "dump_limit")
  run_mf4(dump ${EXAMPLE} --channel Counter --limit 4)
  expect_exit(0)
  string(REGEX MATCHALL "\n" lines "${stdout}")
  list(LENGTH lines line_count)
  if(NOT line_count EQUAL 5)
    message(FATAL_ERROR "header and 4 rows expected:\n${stdout}")
  endif()
  expect_match("${stderr}" "showed 4 of 100 records" "note")
  run_mf4(dump ${EXAMPLE} --channel Counter --all)
  string(REGEX MATCHALL "\n" lines "${stdout}")
  list(LENGTH lines line_count)
  if(NOT line_count EQUAL 101 OR NOT stderr STREQUAL "")
    message(FATAL_ERROR "${line_count} lines with --all, stderr:\n${stderr}")
  endif()

elseif(CASE STREQUAL "dump_wrong_choice")
  run_mf4(dump ${EXAMPLE} --channel Sine --channel NoSuchChannel)
  expect_exit(2)
  expect_match("${stderr}" "no channel is named \"NoSuchChannel\"" "unknown channel")
  if(NOT stdout STREQUAL "")
    message(FATAL_ERROR "nothing belongs on stdout, got:\n${stdout}")
  endif()
  run_mf4(dump ${EXAMPLE} --group 1)
  expect_exit(2)
  run_mf4(dump ${EXAMPLE} --from 1 --start 0.5)
  expect_exit(2)
  run_mf4(dump "${WORK_DIR}/missing.mf4")
  expect_exit(1)

elseif(CASE STREQUAL "dump_buckets")
  # The counter is the record index, so each bucket's minimum and maximum are its first and
  # last record.
  run_mf4(dump ${EXAMPLE} --channel Counter --buckets 10)
  expect_exit(0)
  set(expected "record Counter\n")
  foreach(first RANGE 0 90 10)
    math(EXPR last "${first} + 9")
    string(APPEND expected "${first} ${first}\n${last} ${last}\n")
  endforeach()
  expect_table("${stdout}" "${expected}" "minima and maxima")
  if(NOT stderr STREQUAL "")
    message(FATAL_ERROR "nothing belongs on stderr, got:\n${stderr}")
  endif()
  # Sine over four quarters: its maximum lies at a bucket's end while it rises, else at its
  # start; exactly 1 at record 25.
  run_mf4(dump ${EXAMPLE} --channel Sine --buckets 25 --method max)
  expect_exit(0)
  set(expected "record Sine\n24 0.9980267284282716\n25 1\n50 1.2246467991473532e-16\n")
  expect_table("${stdout}" "${expected}99 -0.06279051952931326\n" "maxima")
  # Every channel by default, one table each; the second bucket is cut at the last record. Sine
  # falls below 0 after record 50, so the first bucket's minimum is its last record.
  run_mf4(dump ${EXAMPLE} --buckets 60 --method min)
  expect_exit(0)
  set(expected "record Sine\n59 -0.5358267949789964\n75 -1\n\nrecord Counter\n0 0\n60 60\n")
  expect_table("${stdout}" "${expected}" "minima")
  # Means from --from on, rounded half away from zero (24.5 gives 25); the x of a mean is the
  # middle of its bucket.
  run_mf4(dump ${EXAMPLE} --channel Counter --from 20 --count 25 --buckets 10 --method mean)
  expect_exit(0)
  expect_match("${stdout}" "^record +Counter\n2[45] +25\n3[45] +35\n4[45] +45\n$" "means")

  run_mf4(dump ${EXAMPLE} --channel Counter --buckets 10 --limit 3)
  expect_exit(0)
  expect_table("${stdout}" "record Counter\n0 0\n9 9\n10 10\n" "first three values")
  expect_match("${stderr}" "showed 3 of 20 values of Counter" "note")

  foreach(wrong "--buckets;0" "--buckets;-1" "--buckets;2.5" "--method;max"
                "--buckets;5;--method;median" "--buckets;5;--start;0.5" "--buckets;5;--neighbours"
                "--buckets;5;--bucket-time;1")
    expect_refused(2 dump ${EXAMPLE} ${wrong})
  endforeach()
  expect_refused(1 dump "${WORK_DIR}/missing.mf4" --buckets 5)

elseif(CASE STREQUAL "dump_bucket_time")
  # Bucket boundaries at 0.005 + k * 0.1 lie well apart from the records at i * 0.01, so a
  # bucket holds records 10 k + 1 .. 10 k + 10; the end 0.395 grows to the boundary 0.405.
  set(expected "time Counter\n0.11 11\n0.2 20\n0.21 21\n0.3 30\n0.31 31\n0.4 40\n")
  run_mf4(dump ${EXAMPLE} --channel Counter --bucket-time 0.1 --start 0.105 --end 0.395)
  expect_exit(0)
  expect_table("${stdout}" "${expected}" "buckets in time")
  if(NOT stderr STREQUAL "")
    message(FATAL_ERROR "raw records need no note, got:\n${stderr}")
  endif()
  # The file has no reduction levels: forcing the raw records changes nothing.
  run_mf4(dump ${EXAMPLE} --channel Counter --bucket-time 0.1 --start 0.105 --end 0.395
          --level-time 0)
  expect_table("${stdout}" "${expected}" "raw records")
  # The nearest bucket with values on each side.
  run_mf4(dump ${EXAMPLE} --channel Counter --bucket-time 0.1 --start 0.205 --end 0.395
          --neighbours)
  expect_exit(0)
  expect_table("${stdout}" "${expected}0.41000000000000003 41\n0.5 50\n" "neighbours")
  # Without --start and --end the buckets cover the recording from its first record on; a
  # record on a boundary opens the next bucket.
  run_mf4(dump ${EXAMPLE} --channel Counter --bucket-time 0.25 --method max)
  expect_exit(0)
  expect_table("${stdout}" "time Counter\n0.24 24\n0.49 49\n0.74 74\n0.99 99\n" "whole recording")

  foreach(wrong "--bucket-time;0" "--bucket-time;-0.1" "--bucket-time;nan" "--bucket-time;inf"
                "--bucket-time;0.1;--from;3" "--bucket-time;0.1;--count;3" "--level-time;0"
                "--bucket-time;0.1;--level-time;x")
    expect_refused(2 dump ${EXAMPLE} ${wrong})
  endforeach()

elseif(CASE STREQUAL "export_csv")
  set(csv "${WORK_DIR}/minimal.csv")
  file(REMOVE "${csv}")
  run_mf4(export ${EXAMPLE} --csv "${csv}")
  expect_exit(0)
  # file(READ) drops carriage returns, so each record end shows as a line break here and as
  # one byte more in the file's size.
  file(READ "${csv}" text)
  file(SIZE "${csv}" size)
  string(LENGTH "${text}" length)
  string(REGEX MATCHALL "\n" lines "${text}")
  list(LENGTH lines line_count)
  math(EXPR carriage_returns "${size} - ${length}")
  if(NOT line_count EQUAL 101 OR NOT carriage_returns EQUAL 101)
    message(FATAL_ERROR "${line_count} lines and ${carriage_returns} CR, expected 101 "
                        "(header and 100 records, each ending with CR LF)")
  endif()
  expect_match("${text}" "^time,Sine \\[V\\],Counter\n0,0,0\n0\\.01,0\\.06279051952931337,1\n"
               "CSV start")
  # One file per group, named after the group.
  set(per_group "${WORK_DIR}/minimal_all_0.csv")
  file(REMOVE "${per_group}")
  run_mf4(export ${EXAMPLE} --csv "${WORK_DIR}/minimal_all.csv" --group all)
  expect_exit(0)
  file(READ "${per_group}" all_text)
  if(NOT all_text STREQUAL text)
    message(FATAL_ERROR "--group all wrote something else for group 0")
  endif()
  run_mf4(export ${EXAMPLE} --csv "${csv}" --group first)
  expect_exit(2)
  run_mf4(export ${EXAMPLE})
  expect_exit(2)
  run_mf4(export ${EXAMPLE} --csv "${WORK_DIR}/no/such/dir/out.csv")
  expect_exit(1)

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

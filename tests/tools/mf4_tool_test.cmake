# Runs the built mf4 tool for one case and checks its exit code and what it prints.
#   cmake -DMF4=<tool> -DCASE=<case> -DEXAMPLE=<examples/minimal.mf4> -DWORK_DIR=<dir>
#         [-DCORPUS=<shared/corpus>] [-DRUNNER=<what runs the tool: Wine for mf4.exe>] -P <this>
cmake_minimum_required(VERSION 3.25)

foreach(required MF4 CASE EXAMPLE WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

# Runs mf4 with the arguments after `expected` and fails unless it ends with that exit code
# ("any" takes every one); sets exit_code, stdout and stderr in the caller's scope.
function(mf4 expected)
  execute_process(COMMAND ${RUNNER} ${MF4} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  # Windows ends printed lines with CR LF.
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
  if(NOT expected STREQUAL "any" AND NOT code STREQUAL expected)
    message(FATAL_ERROR "mf4 ${ARGN}: exit code ${code}, expected ${expected}\n"
                        "stdout:\n${out}\nstderr:\n${err}")
  endif()
  set(exit_code "${code}" PARENT_SCOPE)
  set(stdout "${out}" PARENT_SCOPE)
  set(stderr "${err}" PARENT_SCOPE)
endfunction()

# Fails unless `text` matches the regular expression `pattern`.
function(expect_match text pattern what)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what} does not match '${pattern}':\n${text}")
  endif()
endfunction()

# Fails unless mf4 ends with `expected` and prints nothing on stdout: a refusal explains itself
# on stderr alone. Leaves stderr in the caller's scope.
function(expect_refused expected)
  mf4(${expected} ${ARGN})
  expect_match("${stdout}" "^$" "stdout of mf4 ${ARGN}")
  set(stderr "${stderr}" PARENT_SCOPE)
endfunction()

# Fails unless `text`, every run of spaces squeezed to one, is `expected`: checks a whole
# table without depending on its column widths.
function(expect_table text expected what)
  string(REGEX REPLACE " +" " " squeezed "${text}")
  if(NOT squeezed STREQUAL expected)
    message(FATAL_ERROR "${what}:\n${text}\nexpected (spaces squeezed):\n${expected}")
  endif()
endfunction()

# Fails unless string(JSON <mode> ...) at the given path of `json` gives `expected`; mode is
# GET, LENGTH or TYPE. A document that does not parse fails as well.
function(expect_json json mode expected)
  string(JSON value ERROR_VARIABLE error ${mode} "${json}" ${ARGN})
  if(error OR NOT value STREQUAL expected)
    message(FATAL_ERROR "JSON ${mode} ${ARGN}: '${value}', expected '${expected}' ${error}")
  endif()
endfunction()

# Sets `result` to the number of events of `type` in the JSON document of `mf4 info --json` in
# stdout.
function(events_of_type type result)
  string(JSON length LENGTH "${stdout}" events)
  set(found 0)
  if(length GREATER 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
      string(JSON event_type GET "${stdout}" events ${i} eventType)
      if(event_type EQUAL type)
        math(EXPR found "${found} + 1")
      endif()
    endforeach()
  endif()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

# Writes a fresh demonstration file `name` into WORK_DIR and sets `path` to it; leaves its
# `mf4 info --json` document in stdout.
function(fresh_demo path name)
  set(file "${WORK_DIR}/${name}")
  file(REMOVE "${file}")
  mf4(0 demo "${file}")
  mf4(0 info --json "${file}")
  set(${path} "${file}" PARENT_SCOPE)
  set(stdout "${stdout}" PARENT_SCOPE)
endfunction()

# Fails unless the SHA-256 of `file` is still `hash`.
function(expect_unchanged file hash what)
  file(SHA256 "${file}" now)
  if(NOT now STREQUAL hash)
    message(FATAL_ERROR "${what} changed ${file}")
  endif()
endfunction()

if(CASE STREQUAL "info")
  mf4(0 info ${EXAMPLE})
  expect_match("${stdout}" "\\[0\\] Example 10 ms\n" "group line")
  expect_match("${stdout}" "\\] Sine +f64, 64 bits at byte 8, unit \"V\"\n" "Sine line")
  expect_match("${stdout}" "\\] Counter +u8, 8 bits at byte 16\n" "Counter line")
  expect_match("${stdout}" "Format +MDF 4\\.10" "format line")
  expect_match("${stdout}" "Start +2025-12-05T16:00:00\\.000000000Z \\(UTC\\)" "start line")
  expect_match("${stdout}" "Findings: 0 errors, 0 warnings" "findings summary")
  foreach(options "--json" "--json;--no-events")
    mf4(0 info ${options} ${EXAMPLE})
    expect_json("${stdout}" GET "Example 10 ms" groups 0 acquisitionName)
    expect_json("${stdout}" GET 100 groups 0 cycleCount)
    expect_json("${stdout}" GET 2 channelCount)
    expect_json("${stdout}" LENGTH 2 channels)
    expect_json("${stdout}" GET Sine channels 0 name)
    expect_json("${stdout}" GET Counter channels 1 name)
    expect_json("${stdout}" GET V channels 0 unit)
    # Indices stay numbers, -1 included; absent texts are null.
    expect_json("${stdout}" GET -1 channels 1 conversion)
    expect_json("${stdout}" TYPE NUMBER channels 1 conversion)
    expect_json("${stdout}" TYPE NULL channels 1 unit)
    expect_json("${stdout}" GET 410 formatVersion)
    expect_json("${stdout}" GET 0 result)
    expect_json("${stdout}" TYPE ARRAY findings)
    expect_json("${stdout}" TYPE ARRAY events)
  endforeach()
  expect_refused(1 info --json "${WORK_DIR}/missing.mf4")
  expect_match("${stderr}" "error 141: [^\n]*missing\\.mf4" "finding")
  expect_match("${stderr}" "mf4: cannot read [^\n]*missing\\.mf4 \\(1 error, 0 warnings\\)"
               "error line")

elseif(CASE STREQUAL "check_and_usage")
  mf4(0 check ${EXAMPLE})
  expect_match("${stdout}" "minimal\\.mf4: 0 errors, 0 warnings\n$" "summary")
  # A line break in the path must not break the finding's line.
  mf4(1 check "${WORK_DIR}/missing\nfile.mf4")
  expect_match("${stdout}" "(^|\n)error 141: [^\n]*missing file\\.mf4[^\n]*\n" "finding line")
  expect_match("${stdout}" "\n[^\n]*/missing file\\.mf4: 1 error, 0 warnings\n$" "summary")
  mf4(1 check ${CMAKE_CURRENT_LIST_FILE})
  expect_match("${stdout}"
               "^error 102: [^\n]*mf4_tool_test\\.cmake[^\n]*\n[^\n]*: 1 error, 0 warnings\n$"
               "output")
  foreach(wrong "" "info" "info;${EXAMPLE};--unknown-option")
    expect_refused(2 ${wrong})
  endforeach()
  mf4(0 --help)
  expect_match("${stdout}" "Exit codes: 0 [^\n]*1 [^\n]*2 wrong command line" "help footer")

elseif(CASE STREQUAL "dump")
  # Exact shortest forms: the generator stores sin(2 pi i / 100) and i * 0.01.
  mf4(0 dump ${EXAMPLE} --channel Sine --from 0 --count 3)
  expect_match("${stdout}"
               "^time +Sine \\[V\\]\n0 +0\n0\\.01 +0\\.06279051952931337\n0\\.02 +0\\.12533323356430426\n$"
               "table")
  # Every channel of group 0 by default, in the order of the tree.
  mf4(0 dump ${EXAMPLE} --from 99)
  expect_match("${stdout}" "^time +Sine \\[V\\] +Counter\n0\\.99 +-0\\.06279051952931326 +99\n$"
               "last row")
  mf4(0 dump ${EXAMPLE} --channel Counter --start 0.5 --end 0.52)
  expect_match("${stdout}" "^time +Counter\n0\\.5 +50\n0\\.51 +51\n0\\.52 +52\n$" "table")
  mf4(0 dump ${EXAMPLE} --channel Counter --start 0.5 --end 0.52 --neighbours)
  expect_match("${stdout}" "^time +Counter\n0\\.49 +49\n(.*\n)?0\\.53 +53\n$" "widened table")

  mf4(0 dump ${EXAMPLE} --channel Counter --limit 4)
  expect_match("${stdout}" "^time +Counter\n0 +0\n0\\.01 +1\n0\\.02 +2\n0\\.03 +3\n$" "4 rows")
  expect_match("${stderr}" "showed 4 of 100 records" "note")
  mf4(0 dump ${EXAMPLE} --channel Counter --all)
  string(REGEX MATCHALL "\n" lines "${stdout}")
  list(LENGTH lines line_count)
  if(NOT line_count EQUAL 101 OR NOT stderr STREQUAL "")
    message(FATAL_ERROR "${line_count} lines with --all, stderr:\n${stderr}")
  endif()

  expect_refused(2 dump ${EXAMPLE} --channel Sine --channel NoSuchChannel)
  expect_match("${stderr}" "no channel is named \"NoSuchChannel\"" "unknown channel")
  foreach(wrong "--group;1" "--from;1;--start;0.5" "--buckets;0" "--buckets;-1" "--buckets;2.5"
                "--method;max" "--buckets;5;--method;median" "--buckets;5;--start;0.5"
                "--buckets;5;--neighbours" "--buckets;5;--bucket-time;1" "--bucket-time;0"
                "--bucket-time;-0.1" "--bucket-time;nan" "--bucket-time;inf"
                "--bucket-time;0.1;--from;3" "--bucket-time;0.1;--count;3" "--level-time;0"
                "--bucket-time;0.1;--level-time;x")
    expect_refused(2 dump ${EXAMPLE} ${wrong})
  endforeach()
  expect_refused(1 dump "${WORK_DIR}/missing.mf4")
  expect_refused(1 dump "${WORK_DIR}/missing.mf4" --buckets 5)

elseif(CASE STREQUAL "dump_buckets")
  # The counter is the record index, so each bucket's minimum and maximum are its first and
  # last record.
  mf4(0 dump ${EXAMPLE} --channel Counter --buckets 10)
  set(expected "record Counter\n")
  foreach(first RANGE 0 90 10)
    math(EXPR last "${first} + 9")
    string(APPEND expected "${first} ${first}\n${last} ${last}\n")
  endforeach()
  expect_table("${stdout}" "${expected}" "minima and maxima")
  expect_match("${stderr}" "^$" "stderr")
  # Sine over four quarters: its maximum lies at a bucket's end while it rises, else at its
  # start; exactly 1 at record 25.
  mf4(0 dump ${EXAMPLE} --channel Sine --buckets 25 --method max)
  set(expected "record Sine [V]\n24 0.9980267284282716\n25 1\n50 1.2246467991473532e-16\n")
  expect_table("${stdout}" "${expected}99 -0.06279051952931326\n" "maxima")
  # Every channel by default, one table each; the second bucket is cut at the last record. Sine
  # falls below 0 after record 50, so the first bucket's minimum is its last record.
  mf4(0 dump ${EXAMPLE} --buckets 60 --method min)
  set(expected "record Sine [V]\n59 -0.5358267949789964\n75 -1\n\nrecord Counter\n0 0\n60 60\n")
  expect_table("${stdout}" "${expected}" "minima")
  # Means from --from on, rounded half away from zero (24.5 gives 25); the x of a mean is the
  # middle of its bucket.
  mf4(0 dump ${EXAMPLE} --channel Counter --from 20 --count 25 --buckets 10 --method mean)
  expect_match("${stdout}" "^record +Counter\n2[45] +25\n3[45] +35\n4[45] +45\n$" "means")
  mf4(0 dump ${EXAMPLE} --channel Counter --buckets 10 --limit 3)
  expect_table("${stdout}" "record Counter\n0 0\n9 9\n10 10\n" "first three values")
  expect_match("${stderr}" "showed 3 of 20 values of Counter" "note")

  # Bucket boundaries at 0.005 + k * 0.1 lie well apart from the records at i * 0.01, so a
  # bucket holds records 10 k + 1 .. 10 k + 10; the end 0.395 grows to the boundary 0.405.
  # The file has no reduction levels: forcing the raw records changes nothing.
  set(expected "time Counter\n0.11 11\n0.2 20\n0.21 21\n0.3 30\n0.31 31\n0.4 40\n")
  foreach(level "" "--level-time;0")
    mf4(0 dump ${EXAMPLE} --channel Counter --bucket-time 0.1 --start 0.105 --end 0.395 ${level})
    expect_table("${stdout}" "${expected}" "buckets in time ${level}")
    expect_match("${stderr}" "^$" "raw records need no note")
  endforeach()
  # The nearest bucket with values on each side.
  mf4(0 dump ${EXAMPLE} --channel Counter --bucket-time 0.1 --start 0.205 --end 0.395
      --neighbours)
  expect_table("${stdout}" "${expected}0.41000000000000003 41\n0.5 50\n" "neighbours")
  # Without --start and --end the buckets cover the recording from its first record on; a
  # record on a boundary opens the next bucket.
  mf4(0 dump ${EXAMPLE} --channel Counter --bucket-time 0.25 --method max)
  expect_table("${stdout}" "time Counter\n0.24 24\n0.49 49\n0.74 74\n0.99 99\n" "whole recording")

elseif(CASE STREQUAL "export_csv")
  set(csv "${WORK_DIR}/minimal.csv")
  file(REMOVE "${csv}" "${WORK_DIR}/minimal_all_0.csv")
  mf4(0 export ${EXAMPLE} --csv "${csv}")
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
  mf4(0 export ${EXAMPLE} --csv "${WORK_DIR}/minimal_all.csv" --group all)
  file(READ "${WORK_DIR}/minimal_all_0.csv" all_text)
  if(NOT all_text STREQUAL text)
    message(FATAL_ERROR "--group all wrote something else for group 0")
  endif()
  expect_refused(2 export ${EXAMPLE} --csv "${csv}" --group first)
  expect_refused(2 export ${EXAMPLE})
  mf4(1 export ${EXAMPLE} --csv "${WORK_DIR}/no/such/dir/out.csv")

elseif(CASE STREQUAL "demo")
  set(demo "${WORK_DIR}/demo.mf4")
  file(REMOVE "${demo}")
  mf4(0 demo "${demo}")
  expect_match("${stdout}" "Group Engine: 100 Hz, 1000 records\n" "engine summary")
  expect_match("${stdout}" "Group Vehicle: 10 Hz, 100 records\n" "vehicle summary")
  expect_match("${stdout}" "\nwrote [^\n]*demo\\.mf4\n$" "last line")
  mf4(0 check "${demo}")
  expect_match("${stdout}" "demo\\.mf4: 0 errors, 0 warnings\n$" "check")
  # What the library reads back, not what the demo says it wrote.
  mf4(0 info "${demo}")
  set(conversion "conversion \\[[0-9]\\]")
  expect_match("${stdout}" "\\] gear +u8, 3 bits at byte [0-9]+( bit [0-7])?, ${conversion} value"
               "bit field")
  expect_match("${stdout}" "\\] cylinder_pressure +f32, [^\n]*\"bar\"\n[^\n]*\n +array +4\n"
               "array")
  expect_match("${stdout}" "\\] drive_state +VLSD string \\(UTF-8\\)" "text channel")
  expect_match("${stdout}" "\\] steering_angle +i16, [^\n]*\"deg\", ${conversion} linear\n"
               "linear")
  expect_match("${stdout}" "\\] linear 0\\.1 \\* X \\+ 0, name \"tenths\"\n" "linear rule")
  expect_match("${stdout}" "value to text, 7 entries, name \"gear names\", default \"invalid\"\n"
               "value-to-text conversion")
  mf4(0 info --json "${demo}")
  expect_json("${stdout}" GET Engine groups 0 acquisitionName)
  expect_json("${stdout}" GET 1000 groups 0 cycleCount)
  expect_json("${stdout}" GET 100 groups 1 cycleCount)
  expect_json("${stdout}" GET 2 eventCount)
  expect_json("${stdout}" GET 6 events 0 eventType)
  expect_json("${stdout}" GET overtake events 0 name)
  expect_json("${stdout}" GET 5 events 1 eventType)
  expect_json("${stdout}" GET text/plain attachments 0 mimeType)
  expect_json("${stdout}" GET 1 attachments 0 embedded)
  expect_json("${stdout}" GET 1 attachments 0 md5Valid)
  expect_json("${stdout}" GET odometer headerProperties 2 name)
  expect_json("${stdout}" GET 5 headerProperties 2 type)
  # The drive reaches 100 km/h at 6 s and cruises; the 3-bit gear holds the 4th at 70 km/h.
  mf4(0 dump "${demo}" --group 1 --channel vehicle_speed --channel drive_state --from 60
      --count 1)
  expect_table("${stdout}" "time vehicle_speed [km/h] drive_state\n6 100 \"cruising\"\n" "vehicle at 6 s")
  # Physical values by default: the gear's name, the coolant less the sensor's 40 degrees, the
  # steering angle in tenths; --raw shows what the file stores.
  mf4(0 dump "${demo}" --channel gear --channel coolant_temp --start 4.2 --end 4.2)
  expect_table("${stdout}" "time gear coolant_temp [°C]\n4.2 \"4th\" 80\n" "gear at 4.2 s")
  mf4(0 dump "${demo}" --channel gear --channel coolant_temp --start 4.2 --end 4.2 --raw)
  expect_table("${stdout}" "time gear (raw) coolant_temp (raw)\n4.2 4 120\n" "raw gear at 4.2 s")
  mf4(0 dump "${demo}" --group 1 --channel steering_angle --from 60 --count 1)
  expect_table("${stdout}" "time steering_angle [deg]\n6 14.3\n" "steering at 6 s")
  mf4(0 export "${demo}" --csv "${WORK_DIR}/demo.csv")
  file(READ "${WORK_DIR}/demo.csv" csv_text LIMIT 400)
  expect_match("${csv_text}" "^time,engine_speed \\[rpm\\],coolant_temp \\[[^]\n]+\\],[^\n]*,gear\n0,800,75,[^\n]*,neutral\n"
               "physical CSV")
  # A finished file is not recovery's to change; a missing one is refused.
  file(SHA256 "${demo}" before)
  mf4(0 recover "${demo}")
  expect_match("${stdout}" "\\] Engine: 1000 records\n[^\n]*\\] Vehicle: 100 records\n" "records kept")
  expect_unchanged("${demo}" "${before}" "mf4 recover of a finished file")
  mf4(1 recover "${WORK_DIR}/no-such.mf4")
  expect_match("${stdout}" "error 141" "missing file")
  # Reduction levels for both groups (100 Hz: intervals of 64 x 0.009765625 s), then reads from
  # a level; a second run finds nothing to do.
  mf4(0 reduce "${demo}")
  expect_match("${stdout}" "\\] Engine: 1000 records, levels from 0.625 s\n" "engine levels")
  expect_match("${stdout}" "added to 2 of 2 groups" "reduce summary")
  mf4(0 reduce "${demo}")
  expect_match("${stdout}" "had reduction data already[^\n]*\n[^\n]*had reduction data already" "reduced twice")
  expect_match("${stdout}" "added to 0 of 2 groups" "nothing to add")
  mf4(1 reduce "${WORK_DIR}/no-such.mf4")

elseif(CASE STREQUAL "import")
  set(csv "${WORK_DIR}/import.csv")
  set(out "${WORK_DIR}/import.mf4")
  file(REMOVE "${out}")
  # CR LF line ends, units in brackets, blanks around fields, an empty number cell, quoted
  # texts with a comma, doubled quotes and a line break, and an empty line.
  file(WRITE "${csv}" "time [s], speed [km/h] ,count,note\r\n0,1.5,7,\"a, b\"\r\n"
                      "0.5, ,-3,plain\r\n\r\n1, 2.25 ,9,\"say \"\"hi\"\"\nbye\"\r\n")
  mf4(0 import "${csv}" "${out}" --batch 2)
  expect_match("${stdout}" "^[^\n]*import\\.csv: 3 rows, 4 columns: time \\(master, s\\), "
               "summary")
  expect_match("${stdout}" ", speed \\(f64, km/h\\), count \\(i64\\), note \\(text\\) -> "
               "summary kinds")
  mf4(0 check "${out}")
  expect_match("${stdout}" "import\\.mf4: 0 errors, 0 warnings\n$" "check")
  mf4(0 dump "${out}")
  string(CONCAT expected "time [s] speed [km/h] count note\n0 1.5 7 \"a, b\"\n0.5 nan -3 \"plain\"\n"
                         "1 2.25 9 \"say \\\"hi\\\"\\nbye\"\n")
  expect_table("${stdout}" "${expected}" "values")
  mf4(0 info --json "${out}")
  expect_json("${stdout}" GET import groups 0 acquisitionName)
  expect_json("${stdout}" GET s conversions 0 unit)
  expect_json("${stdout}" GET 0 groups 0 masterConversion)
  # Channels of 64 bits each lie in the order of the columns.
  expect_json("${stdout}" GET speed channels 0 name)
  expect_json("${stdout}" GET 5 channels 0 valueType)
  expect_json("${stdout}" GET km/h channels 0 unit)
  expect_json("${stdout}" GET count channels 1 name)
  expect_json("${stdout}" GET 20 channels 1 valueType)
  expect_json("${stdout}" TYPE NULL channels 1 unit)
  expect_json("${stdout}" GET 30 channels 2 valueType)

  # Exported values come back exactly, as doubles and as integers.
  mf4(0 export ${EXAMPLE} --csv "${WORK_DIR}/round_trip.csv")
  mf4(0 import "${WORK_DIR}/round_trip.csv" "${WORK_DIR}/round_trip.mf4")
  mf4(0 dump ${EXAMPLE} --all)
  string(REGEX REPLACE " +" " " original "${stdout}")
  string(REGEX REPLACE "^time " "time [s] " original "${original}")
  mf4(0 dump "${WORK_DIR}/round_trip.mf4" --all)
  expect_table("${stdout}" "${original}" "round trip")

  # A malformed file creates no output and leaves an existing one as it was.
  set(kept "${WORK_DIR}/kept.mf4")
  set(rows "1,2,3\n2,3" "1,2,3\n2,\"open,3\n3,4,5" "1,2,3\nx,3,4" "1,2,3\n2,x\"y,4" "2,2,3\n1,3,4")
  set(messages "line 3, column 3: expected 3 fields, found 2"
               "line 3, column 2: unterminated quote"
               "line 3, column 1: the time must be a number, found \"x\""
               "line 3, column 2: quote inside an unquoted field"
               "line 3, column 1: the time goes back from 2 to 1")
  foreach(i RANGE 4)
    list(GET rows ${i} body)
    list(GET messages ${i} message)
    file(WRITE "${WORK_DIR}/bad.csv" "a,b,c\n${body}\n")
    file(REMOVE "${WORK_DIR}/bad.mf4")
    expect_refused(1 import "${WORK_DIR}/bad.csv" "${WORK_DIR}/bad.mf4")
    string(FIND "${stderr}" "mf4 import: ${WORK_DIR}/bad.csv ${message}\n" at)
    if(at EQUAL -1 OR EXISTS "${WORK_DIR}/bad.mf4")
      message(FATAL_ERROR "'${body}': expected '${message}' and no output, got:\n${stderr}")
    endif()
  endforeach()
  file(WRITE "${kept}" "not touched")
  expect_refused(1 import "${WORK_DIR}/bad.csv" "${kept}")
  file(READ "${kept}" kept_text)
  if(NOT kept_text STREQUAL "not touched")
    message(FATAL_ERROR "a refused import changed ${kept}")
  endif()
  # The time column by name: "count" goes back at line 3.
  expect_refused(1 import "${csv}" "${WORK_DIR}/bad.mf4" --time-column count)
  expect_match("${stderr}" "import\\.csv line 3, column 3: the time goes back from 7 to -3\n"
               "named time")
  expect_refused(2 import "${csv}" "${WORK_DIR}/bad.mf4" --time-column nothing)
  expect_refused(2 import "${csv}" "${WORK_DIR}/bad.mf4" --batch 0)
  expect_refused(1 import "${WORK_DIR}/missing.csv" "${WORK_DIR}/bad.mf4")
  expect_match("${stderr}" "cannot open [^\n]*missing\\.csv" "missing input")
  if(EXISTS "${WORK_DIR}/bad.mf4")
    message(FATAL_ERROR "a refused import left bad.mf4")
  endif()

elseif(CASE STREQUAL "bookmarks")
  fresh_demo(file bookmarks.mf4)
  string(JSON history_before GET "${stdout}" historyCount)
  events_of_type(5 triggers_before)
  mf4(0 bookmarks "${file}")
  expect_match("${stdout}" "^[^\n]*bookmarks\\.mf4: 1 marker\n +[0-9.]+ s +\"overtake\"[^\n]*\n$" "list")
  # Two in one call; each later list is read from the file anew.
  mf4(0 bookmarks "${file}" --add 1.5 Start --add 2.25 Stop)
  expect_match("${stdout}" ": 2 added, 0 removed\n[^\n]*: 3 markers\n" "added")
  mf4(0 bookmarks "${file}")
  expect_match("${stdout}" "\n +1\\.5 s +\"Start\"\n +2\\.25 s +\"Stop\"\n$" "both listed")
  mf4(0 bookmarks "${file}" --remove Start --add 3 Note --comment "set by hand" --history "tool test")
  expect_match("${stdout}" ": 1 added, 1 removed\n" "changed")
  mf4(0 bookmarks "${file}")
  expect_match("${stdout}" ": 3 markers\n[^\n]*\"overtake\"[^\n]*\n +2\\.25 s +\"Stop\"\n +3 s +\"Note\" +set by hand\n$"
               "Start removed")
  # The trigger beside the markers stays; each change wrote one history entry.
  mf4(0 info --json "${file}")
  events_of_type(5 triggers_after)
  if(triggers_before EQUAL 0 OR NOT triggers_after EQUAL triggers_before)
    message(FATAL_ERROR "triggers: ${triggers_before} before, ${triggers_after} after")
  endif()
  math(EXPR history_after "${history_before} + 2")
  expect_json("${stdout}" GET ${history_after} historyCount)
  mf4(0 info "${file}")
  expect_match("${stdout}" "Findings: 0 errors, 0 warnings" "findings after the changes")
  # Wrong command lines change nothing.
  file(SHA256 "${file}" before)
  foreach(wrong "--remove;Start" "--comment;x" "--add;1;A;--add;2;B;--comment;x" "--add;nan;X"
                "--add;1" "--history;h")
    expect_refused(2 bookmarks "${file}" ${wrong})
  endforeach()
  expect_match("${stderr}" "--history" "history alone")
  expect_unchanged("${file}" "${before}" "a refused mf4 bookmarks")
  mf4(1 bookmarks "${WORK_DIR}/no-such.mf4")
  expect_match("${stdout}" "error 141" "missing file")

elseif(CASE STREQUAL "props")
  fresh_demo(file props.mf4)
  string(JSON count_before GET "${stdout}" headerPropertyCount)
  mf4(0 props "${file}" --set laps=3:integer --set start=2024-01-01T10:00:00:dateTime
      --set url=http://x)
  expect_match("${stdout}" "\n +laps +integer +3\n +start +date +2024-01-01T10:00:00\n +url +string +http://x\n$"
               "new properties")
  # A second value replaces the first; the comment changes with it.
  mf4(0 props "${file}" --set laps=4:integer --comment "Test drive" --history "tool test")
  mf4(0 props "${file}")
  expect_match("${stdout}" "^[^\n]*props\\.mf4: comment \"Test drive\"\n" "comment")
  expect_match("${stdout}" "\n +laps +integer +4\n" "laps now 4")
  string(REGEX MATCHALL "\n +laps " laps "${stdout}")
  list(LENGTH laps laps_count)
  if(NOT laps_count EQUAL 1)
    message(FATAL_ERROR "${laps_count} properties named laps:\n${stdout}")
  endif()
  mf4(0 info --json "${file}")
  math(EXPR count_after "${count_before} + 3")
  expect_json("${stdout}" GET ${count_after} headerPropertyCount)
  # A value its type does not allow is refused by the library, and the file stays as it was.
  file(SHA256 "${file}" before)
  mf4(1 props "${file}" --set bad=abc:integer)
  expect_match("${stdout}" "(^|\n)error 128: [^\n]*hd_md_comment" "finding")
  foreach(wrong "--set;=x" "--set;novalue" "--set;a=1;--set;a=2" "--history;h")
    expect_refused(2 props "${file}" ${wrong})
  endforeach()
  expect_unchanged("${file}" "${before}" "a refused mf4 props")
  mf4(0 info "${file}")
  expect_match("${stdout}" "Findings: 0 errors, 0 warnings" "findings after the changes")

elseif(CASE STREQUAL "corpus")
  if(NOT DEFINED CORPUS OR NOT IS_DIRECTORY "${CORPUS}")
    message("corpus absent: skipped")
    return()
  endif()
  file(GLOB files "${CORPUS}/*.mf4" "${CORPUS}/*.MF4" "${CORPUS}/external/*.MF4")
  foreach(file IN LISTS files)
    mf4(any info --json ${file})
    if(stdout STREQUAL "")
      # An unreadable file explains itself on stderr, and only there.
      expect_match("${exit_code}:${stderr}"
                   "^1:(.*\n)?mf4: cannot read [^\n]+\\([1-9][0-9]* errors?," "${file}")
    else()
      # Every array of the tree holds as many entries as its count field says.
      foreach(pair channels:channelCount groups:groupCount conversions:conversionCount
                   attachments:attachmentCount headerProperties:headerPropertyCount
                   events:eventCount history:historyCount)
        string(REPLACE ":" ";" pair "${pair}")
        list(GET pair 0 array)
        list(GET pair 1 count)
        string(JSON expected GET "${stdout}" ${count})
        expect_json("${stdout}" LENGTH "${expected}" ${array})
      endforeach()
    endif()
  endforeach()

  # Particular files, each feature where a file is known to show it.
  mf4(0 info --json ${CORPUS}/Vector_Value2TextConversion.mf4)
  expect_json("${stdout}" GET 7 conversions 0 conversionType)
  expect_json("${stdout}" LENGTH 5 conversions 0 parameters valueTexts)
  expect_json("${stdout}" GET "first gear" conversions 0 parameters valueTexts 0 text)
  mf4(0 info --json ${CORPUS}/Vector_LinearConversion.mf4)
  expect_json("${stdout}" GET 1 conversions 0 conversionType)
  expect_json("${stdout}" LENGTH 2 conversions 0 parameters linear)
  mf4(0 info ${CORPUS}/Vector_LinearConversion.mf4)
  expect_match("${stdout}" "\n  \\[0\\] linear -3\\.2 \\* X \\+ -4\\.8, name" "linear rule")
  # Raw 9 in the last record: -4.8 + -3.2 * 9.
  mf4(0 dump ${CORPUS}/Vector_LinearConversion.mf4 --from 9)
  expect_match("${stdout}" "\n9 +-33\\.6\n$" "physical value")
  # A master counted in nanoseconds with a linear conversion to seconds prints in seconds:
  # the first record lies at 20,220,000 ns, 0.02022 s as far as the float64 product 1e-9 x
  # 20220000 goes.
  mf4(0 dump ${CORPUS}/Vector_MinimumFile.MF4 --count 1)
  expect_match("${stdout}" "^time \\[s\\] +dwordCounter +PWMFiltered +Triangle\n0\\.02022[0-9]* +124637 +99 +37\n$"
               "master in seconds")
  mf4(0 dump ${CORPUS}/Vector_MinimumFile.MF4 --count 1 --raw)
  expect_match("${stdout}" "^time \\(raw\\) [^\n]*\n20220000 +124637 " "raw master")
  # Ranges sharing a border: a float raw value on it belongs to the upper range.
  mf4(0 dump ${CORPUS}/Vector_ValueRange2TextConversion.mf4 --from 2 --count 2)
  expect_match("${stdout}" "\n2 +\"very low\"\n3 +\"low\"\n$" "range texts")
  mf4(0 info --json ${CORPUS}/Vector_Embedded.MF4)
  expect_json("${stdout}" LENGTH 3 attachments)
  expect_json("${stdout}" GET ON attachments 0 hasData)
  string(JSON data ERROR_VARIABLE no_data GET "${stdout}" attachments 0 data)
  if(NOT no_data)
    message(FATAL_ERROR "attachment bytes were dumped")
  endif()
  mf4(0 info --json ${CORPUS}/dSPACE_Bookmarks.mf4)
  expect_json("${stdout}" LENGTH 6 events)
  expect_json("${stdout}" GET 6 events 0 eventType)
  mf4(0 info --json --no-events ${CORPUS}/dSPACE_Bookmarks.mf4)
  expect_json("${stdout}" LENGTH 0 events)
  mf4(0 info ${CORPUS}/asammdf_demo_arrays_vlsd.mf4)
  expect_match("${stdout}" "\n +member level41 +f64" "nested member")
  expect_match("${stdout}" "\n +array +2 x 3 \\(look-up\\)\n" "array line")
  expect_match("${stdout}" "conversion \\[5\\] unsupported" "unsupported conversion")
  expect_match("${stdout}" "\n  warning 119: [^\n]+\n" "finding")

else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

# velkor-cli stats on a log in every form it is kept in: the XML data packet
# (stats-mixed.xml: volts in two ranges, an overload, Fail rows, ohms), the
# same rows converted to a workbook named .xlsx and .xls and to an SQLite
# log, and a BIFF8 .xls
# from elsewhere. Each form gives the same figures: the table (EXPECTED_TABLE),
# CSV (EXPECTED_CSV) and JSON. A file that cannot be read is told, the
# others are still given, and the exit code is 1.
set(dir ${WORK}/cli_stats)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
configure_file(${INPUT} ${dir}/mixed.xml COPYONLY)

function(cli want_rc)
    execute_process(COMMAND ${CLI} ${ARGN} WORKING_DIRECTORY ${dir}
        OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
    if(NOT rc EQUAL want_rc)
        message(FATAL_ERROR "velkor-cli ${ARGN}: exit code ${rc}, want ${want_rc}\n${e}")
    endif()
    string(REPLACE "\r\n" "\n" o "${o}")
    set(out "${o}" PARENT_SCOPE)
    set(err "${e}" PARENT_SCOPE)
endfunction()
function(expect_equal what got want)
    if(NOT got STREQUAL want)
        message(FATAL_ERROR "${what} differs:\n--- got\n${got}--- want\n${want}")
    endif()
endfunction()

file(READ ${EXPECTED_TABLE} table)
file(READ ${EXPECTED_CSV} csv)

cli(0 stats mixed.xml)
expect_equal("stats mixed.xml" "${out}" "${table}")
cli(0 stats --csv mixed.xml)
expect_equal("stats --csv mixed.xml" "${out}" "${csv}")

foreach(form xlsx xls sqlite)
    cli(0 convert mixed.xml mixed.${form})
    cli(0 stats --csv mixed.${form})
    string(REPLACE "mixed.${form}," "mixed.xml," out "${out}")
    expect_equal("stats --csv mixed.${form}" "${out}" "${csv}")
endforeach()

# JSON: one object per file, the figures as numbers, none as null.
cli(0 stats --json mixed.xml)
foreach(check
        "0;file;mixed.xml" "0;rows;8"
        "0;groups;0;function;DC" "0;groups;0;unit;V" "0;groups;0;count;5"
        "0;groups;0;overload;1" "0;groups;0;fail;2" "0;groups;0;mean;4.5"
        "0;groups;0;min;value;1" "0;groups;0;min;no;1" "0;groups;0;max;value;12.5"
        "0;groups;0;max;no;8" "0;groups;0;max;time;10:00:07"
        "0;groups;1;unit;Ω" "0;groups;1;mean;2585" "0;groups;1;min;no;7")
    list(POP_BACK check want)
    string(JSON got ERROR_VARIABLE json_error GET "${out}" ${check})
    if(json_error OR NOT got STREQUAL want)
        message(FATAL_ERROR "stats --json: ${check} is '${got}', want '${want}' ${json_error}\n${out}")
    endif()
endforeach()
string(JSON sd GET "${out}" 0 groups 0 stddev)
if(NOT sd MATCHES "^4\\.60977222864644")
    message(FATAL_ERROR "stats --json: the DC standard deviation is ${sd}")
endif()

# A workbook from elsewhere (BIFF8): an overload only, and groups of one value
# without a spread.
cli(0 stats --csv ${BIFF8})
string(REPLACE "${BIFF8}," "" out "${out}")
expect_equal("stats --csv ${BIFF8}" "${out}"
"File,Function,Unit,Count,Overload,Fail,Min,MinNo,MinRow,MinTime,Max,MaxNo,MaxRow,MaxTime,Mean,StdDev,First,Last
DC,V,1,0,0,12.3,1,1,09:05:03,12.3,1,1,09:05:03,12.3,,09:05:03,09:05:03
AC,V,0,1,1,,,,,,,,,,,13:00:59,13:00:59
OHM,Ω,1,0,0,1234500,3,3,23:59:59,1234500,3,3,23:59:59,1234500,,23:59:59,23:59:59
")

# One file unreadable among others: told, the others given, exit code 1.
cli(1 stats mixed.xml missing.xml mixed.xlsx)
if(NOT err MATCHES "cannot read missing.xml")
    message(FATAL_ERROR "stats with a missing file: ${err}")
endif()
string(REGEX MATCHALL "[a-z.]+: 8 rows" heads "${out}")
expect_equal("stats with a missing file" "${heads}" "mixed.xml: 8 rows;mixed.xlsx: 8 rows")

# Runs velkor-cli log ARGS (separated by "|") on INPUT and compares standard
# output with EXPECTED and standard error with EXPECTED_ERR. Each row's Time
# must be the time of its Timestamp (which carries its UTC offset); both are
# replaced by TIME and TIMESTAMP before the comparison, and the times in the
# summary on standard error by TIME. The exit code must be 0.
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${CLI} log ${args} ${INPUT}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit code ${rc}\n${err}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(masked "")
foreach(line IN LISTS lines)
    if(line MATCHES "^([^,]*),([0-9][0-9]:[0-9][0-9]:[0-9][0-9]),(.*),[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T([0-9][0-9]:[0-9][0-9]:[0-9][0-9])\\.[0-9][0-9][0-9][+-][0-9][0-9]:[0-9][0-9]$")
        if(NOT CMAKE_MATCH_2 STREQUAL CMAKE_MATCH_4)
            message(FATAL_ERROR "Time and Timestamp differ: ${line}")
        endif()
        set(line "${CMAKE_MATCH_1},TIME,${CMAKE_MATCH_3},TIMESTAMP")
    endif()
    if(NOT line STREQUAL "")
        string(APPEND masked "${line}\n")
    endif()
endforeach()
file(READ ${EXPECTED} want)
if(NOT masked STREQUAL want)
    message(FATAL_ERROR "standard output differs:\n--- got\n${out}--- want\n${want}")
endif()
# The summary at the end names the times of its rows.
string(REGEX REPLACE "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]" "TIME" err "${err}")
file(READ ${EXPECTED_ERR} want_err)
if(NOT err STREQUAL want_err)
    message(FATAL_ERROR "standard error differs:\n--- got\n${err}--- want\n${want_err}")
endif()

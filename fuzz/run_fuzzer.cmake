# Runs one fuzz target for SECONDS on a copy of its seeds; fails when the
# fuzzer finds a crash, a leak, a hang (a run over 10 s) or an input that
# takes more than 2 GB. What it found is left in WORK/artifacts.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
execute_process(
    COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
            -malloc_limit_mb=2048 -print_final_stats=1 -close_fd_mask=3
            -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${SEEDS}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
string(REGEX MATCH "stat::number_of_executed_units: [0-9]+" runs "${output}")
message(STATUS "${runs}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} found a fault (exit ${result}); inputs in ${WORK}/artifacts\n${output}")
endif()

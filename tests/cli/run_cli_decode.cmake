# Runs velkor-cli decode on INPUT and compares standard output and standard
# error with the EXPECTED and EXPECTED_ERR files; the exit code must be 0.
execute_process(COMMAND ${CLI} decode ${INPUT}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${EXPECTED} want)
file(READ ${EXPECTED_ERR} want_err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit code ${rc}\n${err}")
endif()
if(NOT out STREQUAL want)
    message(FATAL_ERROR "standard output differs:\n--- got\n${out}--- want\n${want}")
endif()
if(NOT err STREQUAL want_err)
    message(FATAL_ERROR "standard error differs:\n--- got\n${err}--- want\n${want_err}")
endif()

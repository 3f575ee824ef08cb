# velkor-cli convert: the .xls fixture to an XML packet (compared with
# EXPECTED), that packet to a workbook named .XML and back to a packet (the
# same again); a missing input exits 1, an unwritable output 3.
function(convert in out want_rc)
    execute_process(COMMAND ${CLI} convert ${in} ${out}
        OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
    if(NOT rc EQUAL want_rc)
        message(FATAL_ERROR "convert ${in} ${out}: exit code ${rc}, want ${want_rc}\n${e}")
    endif()
endfunction()
function(expect_same file)
    file(READ ${file} got)
    file(READ ${EXPECTED} want)
    if(NOT got STREQUAL want)
        message(FATAL_ERROR "${file} differs from ${EXPECTED}:\n${got}")
    endif()
endfunction()

set(dir ${WORK}/cli_convert)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
convert(${INPUT} ${dir}/a.xml 0)
expect_same(${dir}/a.xml)
convert(${dir}/a.xml ${dir}/b.XML 0)
convert(${dir}/b.XML ${dir}/c.xml 0)
expect_same(${dir}/c.xml)
convert(${dir}/missing.xml ${dir}/d.xml 1)
convert(${dir}/a.xml ${dir}/none/d.xls 3)

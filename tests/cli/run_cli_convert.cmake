# velkor-cli convert: the .xls fixture to an XML packet (compared with
# EXPECTED), that packet to a workbook named .XML and back to a packet (the
# same again); a missing input exits 1, an unwritable output 3, an output
# named in no form a log is written in 2, with nothing written.
function(convert in out want_rc)
    execute_process(COMMAND ${CLI} convert ${in} ${out}
        OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
    if(NOT rc EQUAL want_rc)
        message(FATAL_ERROR "convert ${in} ${out}: exit code ${rc}, want ${want_rc}\n${e}")
    endif()
    set(stderr "${e}" PARENT_SCOPE)
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
# CSV is written, with readable units and values in the base unit, and
# never read back.
convert(${dir}/a.xml ${dir}/e.csv 0)
file(READ ${dir}/e.csv head LIMIT 44 HEX)
# "No,Date,Time,Function,Value,Unit,Judge,SI" and CR LF
if(NOT head MATCHES "^4e6f2c446174652c54696d652c46756e6374696f6e2c56616c75652c556e69742c4a756467652c53490d0a")
    message(FATAL_ERROR "e.csv has no CSV header: ${head}")
endif()
file(READ ${dir}/e.csv csv)
if(NOT csv MATCHES "3,,23:59:59,OHM,1234.5,kΩ,pass,1234500")
    message(FATAL_ERROR "e.csv has not the row of 1234.5 kΩ:\n${csv}")
endif()
convert(${dir}/e.csv ${dir}/f.xml 1)
# Input that is no regular file, a pipe nobody writes, is refused at once
# (exit 1) instead of waiting for ever; output to a pipe or a device is
# refused (exit 3) and leaves it as it was.
foreach(name pipe.xml pipe.xlsx)
    execute_process(COMMAND mkfifo ${dir}/${name} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "mkfifo ${name}: ${rc}")
    endif()
    convert(${dir}/${name} ${dir}/g.xml 1)
    convert(${dir}/a.xml ${dir}/${name} 3)
    execute_process(COMMAND test -p ${dir}/${name} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${name} is no longer a pipe")
    endif()
endforeach()
file(CREATE_LINK /dev/null ${dir}/null.xlsx SYMBOLIC)
convert(${dir}/a.xml ${dir}/null.xlsx 3)
# Only the forms convert writes: a workbook or a PDF under another name
# would belie its content.
foreach(out ${dir}/run.pdf ${dir}/out.png ${dir}/noextension /dev/null)
    convert(${dir}/a.xml ${out} 2)
    if(NOT stderr MATCHES "names no form a log is written in: end it in .xml")
        message(FATAL_ERROR "convert to ${out}: ${stderr}")
    endif()
    if(NOT out STREQUAL "/dev/null" AND EXISTS ${out})
        message(FATAL_ERROR "convert wrote ${out}")
    endif()
endforeach()
convert(${dir}/a.xml ${dir}/upper.XLSX 0)

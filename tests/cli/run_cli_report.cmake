# velkor-cli report with no display and no platform named: a log file to a
# PDF in readable fonts (no seven-segment font; the units as written), an
# empty log writes nothing (exit 1), an unreadable log exits 1, an
# unwritable PDF 3 (a pipe or a device in the PDF's place among them, left
# as it was), a wrong call 2, and so is a report named other than .pdf
# (nothing written).
function(report want_rc)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=QT_QPA_PLATFORM --unset=DISPLAY
                --unset=WAYLAND_DISPLAY ${CLI} report ${ARGN}
        OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE rc)
    if(NOT rc EQUAL want_rc)
        message(FATAL_ERROR "report ${ARGN}: exit code ${rc}, want ${want_rc}\n${e}")
    endif()
    set(stderr "${e}" PARENT_SCOPE)
endfunction()
function(tool out)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE o RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ARGN}: exit code ${rc}")
    endif()
    set(${out} "${o}" PARENT_SCOPE)
endfunction()

set(dir ${WORK}/cli_report)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
set(fields [[<METADATA><FIELDS><FIELD attrname="No" fieldtype="i4"/><FIELD attrname="Time" fieldtype="string" WIDTH="20"/><FIELD fieldname="DC/AC" attrname="DC_AC" fieldtype="string" WIDTH="20"/><FIELD attrname="Value" fieldtype="string" WIDTH="20"/><FIELD attrname="Unit" fieldtype="string" WIDTH="20"/><FIELD attrname="Auto" fieldtype="string" WIDTH="20"/><FIELD attrname="NVal" fieldtype="i4"/></FIELDS><PARAMS/></METADATA>]])
file(WRITE ${dir}/log.xml "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\">${fields}<ROWDATA>"
    "<ROW No=\"1\" Time=\"09:05:03\" DC_AC=\"DC\" Value=\"012.3\" Unit=\"mV\" Auto=\"pass\"/>"
    "<ROW No=\"2\" Time=\"09:05:04\" DC_AC=\"OHM\" Value=\"1.234\" Unit=\"M*\" Auto=\"Fail\"/>"
    "<ROW No=\"3\" Time=\"09:05:05\" DC_AC=\"DC\" Value=\"0.456\" Unit=\"uA\" Auto=\"pass\"/>"
    "<ROW No=\"4\" Time=\"09:05:06\" DC_AC=\"TEMP\" Value=\"25\" Unit=\"#\" Auto=\"pass\"/>"
    "</ROWDATA></DATAPACKET>")
file(WRITE ${dir}/empty.xml "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\">${fields}<ROWDATA></ROWDATA></DATAPACKET>")

report(0 ${dir}/log.xml ${dir}/log.pdf)
tool(fonts pdffonts ${dir}/log.pdf)
if(fonts MATCHES "DSEG" OR NOT fonts MATCHES "DejaVuSans")
    message(FATAL_ERROR "fonts of the report:\n${fonts}")
endif()
tool(text pdftotext ${dir}/log.pdf -)
foreach(want "Data Report" "mV" "MΩ" "µA" "°C" "Fail" "The Data Print Foot")
    string(FIND "${text}" "${want}" at)
    if(at LESS 0)
        message(FATAL_ERROR "the report has no \"${want}\":\n${text}")
    endif()
endforeach()

# The workbook form reads as convert reads it.
report(0 ${INPUT} ${dir}/book.pdf)
tool(text pdftotext ${dir}/book.pdf -)
string(FIND "${text}" "kΩ" at)
if(at LESS 0)
    message(FATAL_ERROR "the workbook's report has no kΩ:\n${text}")
endif()

report(1 ${dir}/empty.xml ${dir}/empty.pdf)
if(EXISTS ${dir}/empty.pdf OR NOT stderr MATCHES "no rows")
    message(FATAL_ERROR "an empty log: ${stderr}")
endif()
report(1 ${dir}/missing.xml ${dir}/missing.pdf)
report(3 ${dir}/log.xml ${dir}/none/log.pdf)
report(2 ${dir}/log.xml)
report(2)
foreach(out ${dir}/out.png ${dir}/out.xlsx ${dir}/out)
    report(2 ${dir}/log.xml ${out})
    if(EXISTS ${out} OR NOT stderr MATCHES "report writes a PDF: '.*' does not end in .pdf")
        message(FATAL_ERROR "a report named ${out}: ${stderr}")
    endif()
endforeach()
report(0 ${dir}/log.xml ${dir}/upper.PDF)
report(0 --help)
# A pipe nobody writes is refused at once, not waited on.
execute_process(COMMAND mkfifo ${dir}/pipe.xml RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mkfifo: ${rc}")
endif()
report(1 ${dir}/pipe.xml ${dir}/pipe.pdf)
# A pipe in the report's place is refused and stays a pipe.
execute_process(COMMAND mkfifo ${dir}/out.pdf RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mkfifo: ${rc}")
endif()
report(3 ${dir}/log.xml ${dir}/out.pdf)
execute_process(COMMAND test -p ${dir}/out.pdf RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT stderr MATCHES "通常のファイルではありません")
    message(FATAL_ERROR "a pipe as the report: ${stderr}")
endif()

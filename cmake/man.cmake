# Writes a program's manual page from its --help, compressed for man(1):
#   cmake -DPROGRAM=<path> -DNAME=<name> -DSUMMARY=<one line> -DVERSION=<v>
#         [-DCOMMANDS=<sub,commands>] -DOUT=<file.1.gz> -P man.cmake
# help2man turns the main help into the page; each sub-command's own --help
# becomes a section of its own under COMMANDS.

foreach(var PROGRAM NAME SUMMARY VERSION OUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "man.cmake: ${var} is not set")
    endif()
endforeach()
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

# Text shown as it is, escaped for roff.
function(sw_man_verbatim text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

set(include "[SEE ALSO]\nThe README and host.md in /usr/share/doc/spotweave (or the install prefix's share/doc/spotweave).\n")
if(COMMANDS)
    string(REPLACE "," ";" COMMANDS "${COMMANDS}")
    string(APPEND include "[COMMANDS]\n")
    foreach(command ${COMMANDS})
        execute_process(COMMAND ${PROGRAM} ${command} --help
            OUTPUT_VARIABLE help RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
        endif()
        sw_man_verbatim("${help}" text)
        string(APPEND include ".SS ${command}\n${text}")
    endforeach()
endif()
get_filename_component(dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
set(page ${dir}/${NAME}.1)
file(WRITE ${page}.include "${include}")
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION}
                        --name=${SUMMARY} --include=${page}.include --output=${page} ${PROGRAM}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
# -n: no name or time stamp, so the same page gives the same file.
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}")
endif()

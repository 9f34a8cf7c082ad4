# Asks the built program for its usage with no display at all (no DISPLAY, WAYLAND_DISPLAY or
# QT_QPA_PLATFORM), as a script or a package check on a server would: --help and -h each exit 0
# with the usage and the program's own options on stdout.
#
#   cmake -DPROGRAM=... -P check_help_without_display.cmake
if(NOT DEFINED PROGRAM)
    message(FATAL_ERROR "check_help_without_display: PROGRAM is not set")
endif()

foreach(option --help -h)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                            --unset=QT_QPA_PLATFORM "${PROGRAM}" ${option}
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "tavrin ${option} exited with ${code}:\n${out}${err}")
    endif()
    foreach(expected "Usage: [^\n]*tavrin \\[options\\]" "--screenshot <file>" "--update-url <url>")
        if(NOT out MATCHES "${expected}")
            message(FATAL_ERROR "tavrin ${option}: no '${expected}' on stdout:\n${out}\nstderr:\n${err}")
        endif()
    endforeach()
endforeach()
message(STATUS "tavrin --help and -h answer without a display")

# Installs a build into a scratch prefix as `cmake --install BUILD --prefix DIR` does, and checks
# what lands there: exactly the programs, the desktop entry, the metainfo, the icons and the data
# files (url.txt, ping.txt); the entry and the metainfo valid for desktop-file-validate and
# appstreamcli; both programs answering --version without a display.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DAPP_ID=... -DSOURCE_DIR=... -P check_install_tree.cmake
foreach(variable BUILD_DIR PREFIX APP_ID SOURCE_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "check_install_tree: ${variable} is not set")
    endif()
endforeach()

function(run_checked what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "${what} failed (${code}):\n${out}${err}")
    endif()
    set(run_output "${out}${err}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
run_checked("cmake --install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")

set(expected
    bin/tavrin
    bin/tavrin-cli
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml
    share/tavrin/ping.txt
    share/tavrin/url.txt)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tavrin.png)
endforeach()
list(SORT expected)
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" LIST_DIRECTORIES false "${PREFIX}/*")
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " installed_lines "${installed}")
    string(REPLACE ";" "\n  " expected_lines "${expected}")
    message(FATAL_ERROR "installed files differ.\nexpected:\n  ${expected_lines}\ninstalled:\n  ${installed_lines}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SOURCE_DIR}/data/url.txt"
                        "${PREFIX}/share/tavrin/url.txt" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "the installed url.txt is not data/url.txt")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(NOT DESKTOP_FILE_VALIDATE OR NOT APPSTREAMCLI)
    message(FATAL_ERROR "desktop-file-validate (desktop-file-utils) and appstreamcli (appstream) are needed")
endif()
# desktop-file-validate exits 0 for mere hints; anything it prints is a finding.
run_checked("desktop-file-validate" "${DESKTOP_FILE_VALIDATE}" "${PREFIX}/share/applications/${APP_ID}.desktop")
if(NOT run_output STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${run_output}")
endif()
# The tree check also matches the metainfo to the desktop entry and the icon; --no-net: the
# maker's addresses are not to be fetched.
run_checked("appstreamcli validate-tree" "${APPSTREAMCLI}" validate-tree --no-net "${PREFIX}")

foreach(program tavrin tavrin-cli)
    run_checked("${program} --version" "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                --unset=QT_QPA_PLATFORM "${PREFIX}/bin/${program}" --version)
    if(NOT run_output STREQUAL "${program} v2.0 beta1\n")
        message(FATAL_ERROR "${program} --version printed: ${run_output}")
    endif()
endforeach()
message(STATUS "installed tree as expected: ${PREFIX}")

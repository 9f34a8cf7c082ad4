# The HTML parser pages are read with (submit/page_evidence): gumbo, in the maintained fork that
# Debian's ruby-nokogiri source package carries. Debian's own gumbo package has no Windows
# build, and its source cannot be fetched (the archive answers 404 for its files); the fork is
# plain C99 that any compiler here builds in seconds. So every build compiles the fork itself,
# as the static library tavrin_html_parser: Linux and Windows, plain, sanitizer and fuzz builds
# read pages with the very same parser, and what the tests prove of page reading (the bounds on
# hostile pages above all) holds on both systems.
#
# Its sources come from the cache folder, where scripts/fetch_html_parser.sh fetches them once;
# TAVRIN_HTML_PARSER_SOURCE_DIR names another folder with the same files. The build compiles a
# copy of them in the build folder with our fixes to them applied (cmake/html-parser/*.patch),
# so the fetched sources stay as Debian serves them.
set(TAVRIN_HTML_PARSER_SOURCE_DIR "" CACHE PATH
    "Folder of the HTML parser's C sources (gumbo.h, parser.c ...); empty: fetched into the cache folder")

if(NOT EXISTS "${TAVRIN_HTML_PARSER_SOURCE_DIR}/gumbo.h")
    message(STATUS "Fetching the HTML parser's source (scripts/fetch_html_parser.sh)")
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch_html_parser.sh"
                    OUTPUT_VARIABLE fetched_folder RESULT_VARIABLE fetch_result OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT fetch_result EQUAL 0 OR NOT EXISTS "${fetched_folder}/gumbo.h")
        message(FATAL_ERROR "The HTML parser's source could not be fetched (see above). Run "
                            "scripts/fetch_html_parser.sh, or set TAVRIN_HTML_PARSER_SOURCE_DIR to a "
                            "folder holding gumbo.h and parser.c of nokogiri's gumbo-parser/src.")
    endif()
    set_property(CACHE TAVRIN_HTML_PARSER_SOURCE_DIR PROPERTY VALUE "${fetched_folder}")
endif()

# The copy is made again when the sources named or the fixes change.
file(GLOB html_parser_patches CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/html-parser/*.patch")
list(SORT html_parser_patches)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${html_parser_patches})
set(html_parser_copy "${PROJECT_BINARY_DIR}/html_parser/src")
set(html_parser_copy_key "${TAVRIN_HTML_PARSER_SOURCE_DIR}")
foreach(patch IN LISTS html_parser_patches)
    file(SHA256 "${patch}" patch_digest)
    string(APPEND html_parser_copy_key ";${patch_digest}")
endforeach()
if(NOT html_parser_copy_key STREQUAL TAVRIN_HTML_PARSER_COPY_KEY OR NOT EXISTS "${html_parser_copy}/gumbo.h")
    find_program(TAVRIN_PATCH patch REQUIRED)
    file(REMOVE_RECURSE "${html_parser_copy}")
    file(GLOB html_parser_files "${TAVRIN_HTML_PARSER_SOURCE_DIR}/*.c" "${TAVRIN_HTML_PARSER_SOURCE_DIR}/*.h")
    # Copied as new files (file(COPY) would keep the old times, and a build that compiled other
    # sources before would not see these as changed).
    foreach(file IN LISTS html_parser_files)
        get_filename_component(name "${file}" NAME)
        configure_file("${file}" "${html_parser_copy}/${name}" COPYONLY)
    endforeach()
    foreach(patch IN LISTS html_parser_patches)
        execute_process(COMMAND "${TAVRIN_PATCH}" --batch --forward --silent -p1 -d "${html_parser_copy}" -i "${patch}"
                        RESULT_VARIABLE patch_result)
        if(NOT patch_result EQUAL 0)
            file(REMOVE_RECURSE "${html_parser_copy}")
            message(FATAL_ERROR "${patch} does not apply to the HTML parser's sources in ${TAVRIN_HTML_PARSER_SOURCE_DIR}")
        endif()
    endforeach()
    set(TAVRIN_HTML_PARSER_COPY_KEY "${html_parser_copy_key}" CACHE INTERNAL "What the HTML parser's copy was made from")
endif()

enable_language(C)
file(GLOB html_parser_sources "${html_parser_copy}/*.c")
add_library(tavrin_html_parser STATIC ${html_parser_sources})
set_target_properties(tavrin_html_parser PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
# Somebody else's code: its warnings are not ours to fix, and must not fail a build that treats
# warnings as errors.
target_compile_options(tavrin_html_parser PRIVATE -w)
# It reads what strangers write, so the AddressSanitizer builds check its memory too, and the
# fuzz targets see its branches (its undefined behaviour is not ours to stop on).
if(TAVRIN_SANITIZE STREQUAL "address" OR TAVRIN_BUILD_FUZZ)
    target_compile_options(tavrin_html_parser PRIVATE -fsanitize=address -fno-omit-frame-pointer)
endif()
if(TAVRIN_BUILD_FUZZ)
    target_compile_options(tavrin_html_parser PRIVATE -fsanitize=fuzzer-no-link)
endif()
# Its users see gumbo.h alone: the source folder also holds headers named like the C library's
# (error.h) and like ours (util.h).
set(html_parser_include "${PROJECT_BINARY_DIR}/html_parser/include")
configure_file("${html_parser_copy}/gumbo.h" "${html_parser_include}/gumbo.h" COPYONLY)
target_include_directories(tavrin_html_parser SYSTEM INTERFACE "${html_parser_include}")

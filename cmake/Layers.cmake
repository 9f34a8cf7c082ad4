# Every folder of src/ builds one static library, and its headers are reachable only through an
# include root of its own that holds nothing but that folder's headers. A target therefore sees
# the headers of the folders it links (and, through them, of their own dependencies) and no
# others, so an include against the layering fails to compile instead of waiting for review.
#
#   tavrin_layer(NAME folder [SOURCES ...] [DEPENDS ...] [PRIVATE_DEPENDS ...])
#
# `folder` is the path below src/ ("text", "platform/qt"); sources are relative to the calling
# CMakeLists. A folder without sources becomes an INTERFACE library.
function(tavrin_layer name folder)
    cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS")
    set(root "${PROJECT_BINARY_DIR}/layers/${name}")
    set(destination "${root}/${folder}")
    file(REMOVE_RECURSE "${root}")
    file(MAKE_DIRECTORY "${destination}")
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    # Links keep the root in step with the sources. Where none can be made (a Windows file system
    # without the right to make them) copies stand in, and a change to a copied header makes the
    # build configure again, which copies it anew.
    foreach(header IN LISTS headers)
        file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}/${header}" "${destination}/${header}" COPY_ON_ERROR SYMBOLIC)
        if(NOT IS_SYMLINK "${destination}/${header}")
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${header}")
        endif()
    endforeach()
    if(layer_SOURCES)
        add_library(${name} STATIC ${layer_SOURCES})
        target_include_directories(${name} PUBLIC "${root}")
        target_link_libraries(${name} PUBLIC tavrin_common_config ${layer_DEPENDS} PRIVATE ${layer_PRIVATE_DEPENDS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${root}")
        target_link_libraries(${name} INTERFACE tavrin_common_config ${layer_DEPENDS})
    endif()
endfunction()

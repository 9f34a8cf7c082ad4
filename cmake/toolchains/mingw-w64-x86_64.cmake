# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (package
# g++-mingw-w64-x86-64-posix; the posix flavour, whose C++ library has std::thread and
# std::mutex), against the libraries scripts/windows/build_deps.sh builds:
#   scripts/windows/build_deps.sh
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
#
# The libraries are found in the cache's Windows prefix ($TAVRIN_CACHE/win64, by default
# ~/.cache/tavrin/win64; TAVRIN_WINDOWS_PREFIX names another) and in the compiler's own
# sysroot, never among the host's. Qt's code generators (moc, uic, rcc) are the host's Qt of the
# same version, which Qt's CMake files find through QT_HOST_PATH.
#
# CMake reads this file again for every check it compiles, where only the environment and the
# variables listed in CMAKE_TRY_COMPILE_PLATFORM_VARIABLES are seen; so the prefix is worked out
# here from the environment each time rather than passed in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRIN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRIN_MINGW_TRIPLET}-windres)

if(DEFINED ENV{TAVRIN_WINDOWS_PREFIX})
    set(TAVRIN_WINDOWS_PREFIX "$ENV{TAVRIN_WINDOWS_PREFIX}")
elseif(DEFINED ENV{TAVRIN_CACHE})
    set(TAVRIN_WINDOWS_PREFIX "$ENV{TAVRIN_CACHE}/win64")
else()
    set(TAVRIN_WINDOWS_PREFIX "$ENV{HOME}/.cache/tavrin/win64")
endif()

# Libraries, headers and CMake packages come from the prefix and the MinGW sysroot only (a host
# header in the include path would break the build in ways hard to read); programs, which run
# here, from the host.
set(CMAKE_FIND_ROOT_PATH "${TAVRIN_WINDOWS_PREFIX}" /usr/${TAVRIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH "${TAVRIN_WINDOWS_PREFIX}")

# pkg-config reads the prefix's .pc files alone.
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "pkg-config of the build machine")
set(ENV{PKG_CONFIG_LIBDIR} "${TAVRIN_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The host's Qt tools; Debian keeps Qt's CMake files in the architecture's folder.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr)
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE _tavrin_multiarch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT _tavrin_multiarch)
        set(_tavrin_multiarch x86_64-linux-gnu)
    endif()
    set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/${_tavrin_multiarch}/cmake")
endif()

# Programs built here run under wine for the tests.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(TAVRIN_WINE wine)
    if(TAVRIN_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR "${TAVRIN_WINE}")
    endif()
endif()

# Flags shared by every target of the project.
add_library(tavrin_common_config INTERFACE)
target_compile_features(tavrin_common_config INTERFACE cxx_std_20)
target_compile_options(tavrin_common_config INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual>)
# Every text in the program is GBK bytes: a char* or QByteArray must never turn into a QString
# (or back) without an explicit conversion.
target_compile_definitions(tavrin_common_config INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

# Code that talks to the operating system lives in files named for the system they are written
# for: `NAME_posix.cpp` (Linux and the other POSIX systems) beside `NAME_win.cpp` (Windows). The
# CMakeLists name such a file `NAME_${TAVRIN_SYSTEM}.cpp`, so the logic never carries #ifdefs.
if(WIN32)
    set(TAVRIN_SYSTEM win)
    # The wide (UTF-16) Windows functions are the only ones used: every path and text the
    # program hands Windows is Unicode. Windows 10 is the oldest system the program supports.
    target_compile_definitions(tavrin_common_config INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
else()
    set(TAVRIN_SYSTEM posix)
endif()

# Warnings fail the build where the project is checked (CI turns this on); at home they stay
# warnings, so a newer compiler's new warning does not stop anyone from building.
option(TAVRIN_WERROR "Treat compiler warnings as errors" OFF)
if(TAVRIN_WERROR)
    target_compile_options(tavrin_common_config INTERFACE $<$<CXX_COMPILER_ID:GNU,Clang>:-Werror>)
endif()

set(CMAKE_CXX_EXTENSIONS OFF)
# For clang-tidy and editors.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

set(TAVRIN_SANITIZE "" CACHE STRING "Sanitizer build: empty, address (ASan+UBSan) or thread")
if(TAVRIN_SANITIZE)
    # GCC's flow analysis sees the sanitizers' instrumentation and reports values as maybe
    # uninitialized that are not (in std::regex, through the tests' HTTP server, for one); with
    # warnings as errors that would stop the sanitizer builds for nothing.
    target_compile_options(tavrin_common_config INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
endif()
if(TAVRIN_SANITIZE STREQUAL "address")
    target_compile_options(tavrin_common_config INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tavrin_common_config INTERFACE -fsanitize=address,undefined)
elseif(TAVRIN_SANITIZE STREQUAL "thread")
    target_compile_options(tavrin_common_config INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(tavrin_common_config INTERFACE -fsanitize=thread)
endif()

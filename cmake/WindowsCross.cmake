# Drives the Windows build of this same source tree from the native build
# (mingw-w64, cmake/mingw-w64.cmake) into build/windows, and registers the
# tests that check its binary and run it under Wine.
# In CI a missing tool is an error, never a quietly skipped part.
if(DEFINED ENV{CI})
    set(QUENBRIX_MISSING_TOOL FATAL_ERROR)
else()
    set(QUENBRIX_MISSING_TOOL STATUS)
endif()

find_program(QUENBRIX_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT QUENBRIX_MINGW_CXX)
    message(${QUENBRIX_MISSING_TOOL} "Windows build skipped: x86_64-w64-mingw32-g++-posix not found "
                   "(apt-get install g++-mingw-w64-x86-64-posix)")
    return()
endif()

include(ExternalProject)
include(${CMAKE_SOURCE_DIR}/tests/sdk/sdk.cmake)
set(QUENBRIX_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(quenbrix_windows
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${QUENBRIX_WINDOWS_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
               -DCMAKE_BUILD_TYPE=Release
               -DQUENBRIX_TESTS=${QUENBRIX_TESTS}
               -DQUENBRIX_MAX_SDK=${QUENBRIX_MAX_SDK}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${QUENBRIX_WINDOWS_DIR}/quenbrix.mxe64
                     ${QUENBRIX_WINDOWS_DIR}/MaxAPI.dll
    USES_TERMINAL_BUILD ON)

# The plug-in once more against the host maker's SDK, to compare.
set(QUENBRIX_WINDOWS_SDK_DIR ${CMAKE_BINARY_DIR}/windows-sdk)
if(QUENBRIX_SDK_VARIANT)
    ExternalProject_Add(quenbrix_windows_sdk
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${QUENBRIX_WINDOWS_SDK_DIR}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
                   -DCMAKE_BUILD_TYPE=Release
                   -DQUENBRIX_TESTS=OFF
                   -DQUENBRIX_MAX_SDK=${QUENBRIX_SDK_CHECK_DIR}
        BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target quenbrix
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${QUENBRIX_WINDOWS_SDK_DIR}/quenbrix.mxe64
        USES_TERMINAL_BUILD ON)
endif()

if(NOT QUENBRIX_TESTS)
    return()
endif()

# Our sources as Visual Studio sees them, syntax only (clang for an MSVC
# target, against mingw-w64's headers).
find_program(QUENBRIX_CLANG_MSVC NAMES clang-14 clang)
if(QUENBRIX_CLANG_MSVC)
    add_test(NAME windows_msvc_syntax
             COMMAND ${CMAKE_COMMAND} -DCLANG=${QUENBRIX_CLANG_MSVC}
                     -DMINGW_INCLUDE=/usr/x86_64-w64-mingw32/include
                     -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSDK=${QUENBRIX_SDK_CHECK_DIR}
                     -P ${CMAKE_SOURCE_DIR}/tests/sdk/msvc_syntax.cmake)
else()
    message(${QUENBRIX_MISSING_TOOL} "windows_msvc_syntax skipped: clang-14 not found")
endif()

find_program(QUENBRIX_MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
if(QUENBRIX_SDK_CHECK_DIR)
    # Our host declarations against the SDK's, for Windows x64: a compile.
    add_test(NAME sdk.windows_x64_prototypes
             COMMAND ${QUENBRIX_MINGW_CXX} -std=c++17 -Wall -Wextra -Werror -fsyntax-only
                     -isystem ${QUENBRIX_SDK_CHECK_DIR}/c74support/max-includes
                     -I${CMAKE_SOURCE_DIR}/host
                     ${CMAKE_SOURCE_DIR}/tests/sdk/prototypes_check.cpp)
endif()
if(QUENBRIX_SDK_VARIANT)
    find_package(GTest REQUIRED)
    find_program(QUENBRIX_MINGW_NM x86_64-w64-mingw32-nm REQUIRED)
    add_executable(sdk_windows_check ${CMAKE_SOURCE_DIR}/tests/sdk/windows_names_check.cpp)
    target_compile_definitions(sdk_windows_check PRIVATE
        QUENBRIX_OWN="${QUENBRIX_WINDOWS_DIR}/quenbrix.mxe64"
        QUENBRIX_SDK_BUILD="${QUENBRIX_WINDOWS_SDK_DIR}/quenbrix.mxe64"
        QUENBRIX_MAXAPI_LIB="${QUENBRIX_SDK_CHECK_DIR}/c74support/max-includes/x64/MaxAPI.lib"
        QUENBRIX_OBJDUMP="${QUENBRIX_MINGW_OBJDUMP}"
        QUENBRIX_NM="${QUENBRIX_MINGW_NM}")
    target_link_libraries(sdk_windows_check PRIVATE GTest::gtest_main)
    add_dependencies(sdk_windows_check quenbrix_windows quenbrix_windows_sdk)
    add_test(NAME sdk.windows_imports COMMAND sdk_windows_check)
endif()

# The plug-in's export and import tables.
add_test(NAME windows_pe_tables
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${QUENBRIX_MINGW_OBJDUMP}
                 -DPLUGIN=${QUENBRIX_WINDOWS_DIR}/quenbrix.mxe64
                 -DHOSTDLL=${QUENBRIX_WINDOWS_DIR}/MaxAPI.dll
                 -DMAXAPI_DEF=${CMAKE_SOURCE_DIR}/packaging/MaxAPI.def
                 -P ${CMAKE_SOURCE_DIR}/tests/windows/pe_check.cmake)

# The real plug-in under Wine, on a virtual X display.
find_program(QUENBRIX_WINE wine)
find_program(QUENBRIX_XVFB_RUN xvfb-run)
if(NOT QUENBRIX_WINE OR NOT QUENBRIX_XVFB_RUN)
    message(${QUENBRIX_MISSING_TOOL} "Windows tests under Wine skipped: wine or xvfb-run not found "
                   "(apt-get install wine64 xvfb xauth)")
    return()
endif()

set(QUENBRIX_WINE_RUN sh ${CMAKE_SOURCE_DIR}/tests/windows/wine-run.sh)
set(QUENBRIX_WINE_ENV QUENBRIX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix)

add_test(NAME windows_wine_prefix COMMAND ${QUENBRIX_WINE_RUN} setup)
set_tests_properties(windows_wine_prefix PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${QUENBRIX_WINE_ENV}" RESOURCE_LOCK wine
    TIMEOUT 300)

# Inside Live: the test program's own name holds "Live".
add_test(NAME windows_inside_live
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe --gtest_filter=-OutsideLive.*:Reliability.*:CommandLine.*:FaultSweep.*
         WORKING_DIRECTORY ${QUENBRIX_WINDOWS_DIR})
# Load, deletion in flight and bad input, inside Live: a run of its own.
add_test(NAME windows_reliability
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe --gtest_filter=Reliability.*
         WORKING_DIRECTORY ${QUENBRIX_WINDOWS_DIR})
# Outside Live: the same program under a name without it.
add_test(NAME windows_outside_live
         COMMAND ${QUENBRIX_WINE_RUN} MaxSimTests.exe --gtest_filter=OutsideLive.*
         WORKING_DIRECTORY ${QUENBRIX_WINDOWS_DIR})
# Live in a folder with blanks in its name: its second start gets the file.
add_test(NAME windows_live_folder_with_blanks
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe --gtest_filter=Addfile.StartsLive*
         WORKING_DIRECTORY "${QUENBRIX_WINDOWS_DIR}/Ableton Live 12 Suite")
# The command line addfile builds, read back by Windows' parser, with Live's
# executable in that folder with blanks.
add_test(NAME windows_command_line
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe --gtest_filter=CommandLine.*
         WORKING_DIRECTORY "${QUENBRIX_WINDOWS_DIR}/Ableton Live 12 Suite")
# Deletion and load once more with a host that refuses calls addressed to
# anything but a live object (the stand-in host's "strict" model; the runs
# above use its default, "run").
add_test(NAME windows_reliability_strict
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe
                 --gtest_filter=Reliability.*:Addfile.Deleting*:Addfile.TheHostCanQuit*
         WORKING_DIRECTORY ${QUENBRIX_WINDOWS_DIR})
set_tests_properties(windows_inside_live windows_outside_live windows_reliability
                     windows_live_folder_with_blanks windows_command_line
                     windows_reliability_strict PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT "${QUENBRIX_WINE_ENV}" RESOURCE_LOCK wine
    TIMEOUT 600)
set_property(TEST windows_reliability_strict APPEND PROPERTY
             ENVIRONMENT MAXHOST_FREED_CALLS=strict)
include(${CMAKE_SOURCE_DIR}/tests/windows/fault_sweep.cmake)

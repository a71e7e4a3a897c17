# Drives the Windows build of this same source tree from the native build
# (mingw-w64, cmake/mingw-w64.cmake) into build/windows: the plug-in, the
# stand-in host MaxAPI.dll and the test programs that tests/windows runs
# under Wine; and the plug-in once more against the host maker's SDK, to
# compare. Also finds what running them here takes.
if(NOT QUENBRIX_WINDOWS)
    return()
endif()

find_program(QUENBRIX_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT QUENBRIX_MINGW_CXX)
    quenbrix_tool_missing(windows "x86_64-w64-mingw32-g++-posix not found "
                                  "(apt-get install g++-mingw-w64-x86-64-posix)")
    return()
endif()

include(ExternalProject)
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

# Running the Windows programs here: Wine, on a virtual X display.
find_program(QUENBRIX_WINE wine)
find_program(QUENBRIX_XVFB_RUN xvfb-run)
if(NOT QUENBRIX_WINE OR NOT QUENBRIX_XVFB_RUN)
    quenbrix_tool_missing(windows_wine "wine or xvfb-run not found "
                                       "(apt-get install wine64 wine xvfb xauth)")
endif()

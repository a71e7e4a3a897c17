# Drives the Windows build of this same source tree from the native build
# (mingw-w64, cmake/mingw-w64.cmake) into build/windows, and registers the
# tests that check its binary and run it under Wine.
find_program(QUENBRIX_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT QUENBRIX_MINGW_CXX)
    message(STATUS "Windows build skipped: x86_64-w64-mingw32-g++-posix not found "
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
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${QUENBRIX_WINDOWS_DIR}/quenbrix.mxe64
                     ${QUENBRIX_WINDOWS_DIR}/MaxAPI.dll
    USES_TERMINAL_BUILD ON)

# Every cache option of the build, one line each. Each cross build and each
# sanitizer build configures this same project, so they all read this list.
option(QUENBRIX_TESTS "Build the tests and register them with CTest" ON)
option(QUENBRIX_CROSS "Also build the plug-ins for Windows and macOS, the package, the SDK comparisons and the sanitizer runs" ON)
option(QUENBRIX_WINDOWS "Cross-build the Windows plug-in with mingw-w64 (and run its tests under Wine)" ON)
option(QUENBRIX_MACOS "Cross-build the macOS plug-in bundle with clang-14 and lld-16" ON)
option(QUENBRIX_SANITIZER_RUNS "Run the native tests once more under AddressSanitizer and ThreadSanitizer" ON)
set(QUENBRIX_SANITIZE "" CACHE STRING "Sanitizers for this build itself, e.g. address,undefined or thread")
set(QUENBRIX_MAX_SDK "" CACHE PATH "The host maker's SDK (max-sdk-base) to build both plug-ins against")
set(QUENBRIX_MACOS_OUTPUT "${CMAKE_BINARY_DIR}" CACHE PATH "Folder that receives quenbrix.mxo (the macOS build)")
set(QUENBRIX_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest's sources, built for the Windows test programs")

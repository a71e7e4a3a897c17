# The macOS plug-in bundle, cross-built from the native build: this same
# source tree configured with cmake/macos-cross.cmake into macos-build/,
# with the bundle landing in macos/quenbrix.mxo; and once more against the
# host maker's SDK, to compare. tests/mac reads them back.
if(NOT QUENBRIX_MACOS)
    return()
endif()

find_program(QUENBRIX_MACOS_CLANG NAMES clang-14)
find_program(QUENBRIX_MACOS_LD64_16 NAMES ld64.lld-16)
find_program(QUENBRIX_MACOS_LIPO NAMES llvm-lipo-14 llvm-lipo)
find_program(QUENBRIX_MACOS_OBJDUMP NAMES llvm-objdump-14 llvm-objdump)
if(NOT QUENBRIX_MACOS_CLANG OR NOT QUENBRIX_MACOS_LD64_16 OR NOT QUENBRIX_MACOS_LIPO
   OR NOT QUENBRIX_MACOS_OBJDUMP)
    quenbrix_tool_missing(macos "clang-14, lld-16 or llvm-14 not found "
                                "(apt-get install clang-14 lld-16 llvm-14)")
    return()
endif()

include(ExternalProject)
set(QUENBRIX_MACOS_BUNDLE ${CMAKE_BINARY_DIR}/macos/quenbrix.mxo)
set(QUENBRIX_MACOS_SDK_BUNDLE ${CMAKE_BINARY_DIR}/macos-sdk/quenbrix.mxo)

# One cross build of the bundle into <build>/<folder>/quenbrix.mxo, built in
# <build>/<folder>-build, against `sdk` (empty: our own declarations).
# This machine may set LIBRARY_PATH, which the compiler driver would pass to
# the Mach-O linker as a search folder of Linux libraries.
function(quenbrix_macos_cross target folder sdk)
    ExternalProject_Add(${target}
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/${folder}-build
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/macos-cross.cmake
                   -DCMAKE_BUILD_TYPE=MinSizeRel
                   -DQUENBRIX_TESTS=OFF
                   -DQUENBRIX_MACOS_OUTPUT=${CMAKE_BINARY_DIR}/${folder}
                   -DQUENBRIX_MAX_SDK=${sdk}
        BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=LIBRARY_PATH
                      ${CMAKE_COMMAND} --build <BINARY_DIR>
        BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/${folder}/quenbrix.mxo/Contents/MacOS/quenbrix
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON)
endfunction()

quenbrix_macos_cross(quenbrix_macos macos "${QUENBRIX_MAX_SDK}")
if(QUENBRIX_SDK_VARIANT)
    quenbrix_macos_cross(quenbrix_macos_sdk macos-sdk "${QUENBRIX_SDK_CHECK_DIR}")
endif()

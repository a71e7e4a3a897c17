# The macOS plug-in bundle, cross-built from the native build: this same
# source tree configured with cmake/macos-cross.cmake into macos-build/,
# with the bundle landing in macos/quenbrix.mxo; then the test that reads
# the built bundle back and checks what the host and macOS will see.
include(ExternalProject)

# The macOS file's behaviour, natively against the stand-in AppKit.
if(QUENBRIX_TESTS)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tests/mac)
endif()

option(QUENBRIX_MACOS "Cross-build the macOS plug-in bundle" ON)
if(NOT QUENBRIX_MACOS)
    return()
endif()

find_program(QUENBRIX_MACOS_CLANG NAMES clang-14)
find_program(QUENBRIX_MACOS_LD64_16 NAMES ld64.lld-16)
find_program(QUENBRIX_MACOS_LIPO NAMES llvm-lipo-14 llvm-lipo)
find_program(QUENBRIX_MACOS_OBJDUMP NAMES llvm-objdump-14 llvm-objdump)
if(NOT QUENBRIX_MACOS_CLANG OR NOT QUENBRIX_MACOS_LD64_16 OR NOT QUENBRIX_MACOS_LIPO
   OR NOT QUENBRIX_MACOS_OBJDUMP)
    message(FATAL_ERROR "The macOS cross build needs clang-14, lld-16 and llvm-14 "
                        "(apt-get install clang-14 lld-16 llvm-14), or "
                        "-DQUENBRIX_MACOS=OFF to leave it out.")
endif()

set(QUENBRIX_MACOS_BUNDLE ${CMAKE_BINARY_DIR}/macos/quenbrix.mxo)
include(${CMAKE_SOURCE_DIR}/tests/sdk/sdk.cmake)

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

# The bundle once more against the host maker's SDK, to compare.
set(QUENBRIX_MACOS_SDK_BUNDLE ${CMAKE_BINARY_DIR}/macos-sdk/quenbrix.mxo)
if(QUENBRIX_SDK_VARIANT)
    quenbrix_macos_cross(quenbrix_macos_sdk macos-sdk "${QUENBRIX_SDK_CHECK_DIR}")
endif()

# The built bundle read back: slices, load commands, exports, bindings,
# signatures, Info.plist and PkgInfo.
if(QUENBRIX_TESTS)
    find_package(GTest REQUIRED)
    add_executable(mac_bundle_check ${CMAKE_SOURCE_DIR}/tests/mac/bundle_check.cpp)
    target_compile_definitions(mac_bundle_check PRIVATE
        QUENBRIX_BUNDLE="${QUENBRIX_MACOS_BUNDLE}"
        QUENBRIX_OBJDUMP="${QUENBRIX_MACOS_OBJDUMP}")
    target_link_libraries(mac_bundle_check PRIVATE GTest::gtest_main)
    add_dependencies(mac_bundle_check quenbrix_macos)
    add_test(NAME macos.bundle COMMAND mac_bundle_check)

    # Our host declarations against the SDK's, for each slice: a compile.
    if(QUENBRIX_SDK_CHECK_DIR)
        foreach(target x86_64-apple-macos10.11 arm64-apple-macos11.0)
            string(REGEX MATCH "^[a-z0-9_]+" arch ${target})
            add_test(NAME sdk.macos_${arch}_prototypes
                     COMMAND ${QUENBRIX_MACOS_CLANG} -x c++ -std=c++17 -target ${target}
                             -Wall -Wextra -Werror -fsyntax-only -ffreestanding -nostdlibinc
                             -isystem ${QUENBRIX_MACOS_SDK_DIR}/usr/include
                             -isystem ${QUENBRIX_SDK_CHECK_DIR}/c74support/max-includes
                             -I${CMAKE_SOURCE_DIR}/host
                             ${CMAKE_SOURCE_DIR}/tests/sdk/prototypes_check.cpp)
        endforeach()
    endif()
    # The SDK build read back like ours, then the two side by side.
    if(QUENBRIX_SDK_VARIANT)
        add_test(NAME sdk.macos_bundle COMMAND mac_bundle_check)
        set_tests_properties(sdk.macos_bundle PROPERTIES
            ENVIRONMENT "QUENBRIX_BUNDLE=${QUENBRIX_MACOS_SDK_BUNDLE}")
        add_dependencies(mac_bundle_check quenbrix_macos_sdk)
        add_executable(sdk_macos_check ${CMAKE_SOURCE_DIR}/tests/sdk/macos_names_check.cpp)
        target_compile_definitions(sdk_macos_check PRIVATE
            QUENBRIX_OWN="${QUENBRIX_MACOS_BUNDLE}/Contents/MacOS/quenbrix"
            QUENBRIX_SDK_BUILD="${QUENBRIX_MACOS_SDK_BUNDLE}/Contents/MacOS/quenbrix"
            QUENBRIX_SDK_DIR="${QUENBRIX_SDK_CHECK_DIR}"
            QUENBRIX_OBJDUMP="${QUENBRIX_MACOS_OBJDUMP}")
        target_link_libraries(sdk_macos_check PRIVATE GTest::gtest_main)
        add_dependencies(sdk_macos_check quenbrix_macos quenbrix_macos_sdk)
        add_test(NAME sdk.macos_bindings COMMAND sdk_macos_check)
    endif()
endif()

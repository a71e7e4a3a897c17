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
find_program(QUENBRIX_MACOS_LLD NAMES ld64.lld-14 ld64.lld)
find_program(QUENBRIX_MACOS_LIPO NAMES llvm-lipo-14 llvm-lipo)
find_program(QUENBRIX_MACOS_OBJDUMP NAMES llvm-objdump-14 llvm-objdump)
if(NOT QUENBRIX_MACOS_CLANG OR NOT QUENBRIX_MACOS_LLD OR NOT QUENBRIX_MACOS_LIPO
   OR NOT QUENBRIX_MACOS_OBJDUMP)
    message(FATAL_ERROR "The macOS cross build needs clang-14, lld-14 and llvm-14 "
                        "(apt-get install clang-14 lld-14 llvm-14), or "
                        "-DQUENBRIX_MACOS=OFF to leave it out.")
endif()

set(QUENBRIX_MACOS_BUNDLE ${CMAKE_BINARY_DIR}/macos/quenbrix.mxo)

# This machine may set LIBRARY_PATH, which the compiler driver would pass to
# the Mach-O linker as a search folder of Linux libraries.
ExternalProject_Add(quenbrix_macos
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/macos-build
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/macos-cross.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel
               -DQUENBRIX_TESTS=OFF
               -DQUENBRIX_MACOS_OUTPUT=${CMAKE_BINARY_DIR}/macos
    BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=LIBRARY_PATH
                  ${CMAKE_COMMAND} --build <BINARY_DIR>
    BUILD_BYPRODUCTS ${QUENBRIX_MACOS_BUNDLE}/Contents/MacOS/quenbrix
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

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
endif()

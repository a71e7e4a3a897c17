# Toolchain for the macOS plug-in bundle, cross-built on Linux with LLVM 14:
# clang-14 compiles each architecture, ld64.lld links it against the text
# stubs in testbed/macos-sdk/ (which stand in for Apple's SDK), llvm-lipo joins the slices.
# cmake/MacBuild.cmake builds one slice per architecture in this mode.
#
# The linker is lld 16's: lld 14 ends the unwind table at the start of the
# last function of __text whenever that function's entry is folded into the
# one before it, so the last function has no unwind information.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

find_program(QUENBRIX_CLANG NAMES clang-14 REQUIRED)
find_program(QUENBRIX_LD64_16 NAMES ld64.lld-16 REQUIRED)
find_program(QUENBRIX_LIPO NAMES llvm-lipo-14 llvm-lipo REQUIRED)
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool-14 llvm-install-name-tool)

# The C driver also for C++: it links without a C++ runtime, which the
# plug-in does not use.
set(CMAKE_C_COMPILER ${QUENBRIX_CLANG})
set(CMAKE_CXX_COMPILER ${QUENBRIX_CLANG})
set(CMAKE_C_COMPILER_TARGET x86_64-apple-macos10.11)
set(CMAKE_CXX_COMPILER_TARGET x86_64-apple-macos10.11)

# There is nothing here to link a test program against: check the compilers
# by compiling only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

get_filename_component(CMAKE_OSX_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../testbed/macos-sdk ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${CMAKE_OSX_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(QUENBRIX_MACOS_CROSS ON)

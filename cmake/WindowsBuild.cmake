# The Windows x64 build (with cmake/mingw-w64.cmake): the plug-in
# quenbrix.mxe64, the stand-in host MaxAPI.dll, and the host programs and
# tests that run them under Wine. Everything lands in the build folder's top.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The compiler's runtime goes into each binary: nothing may import
# libstdc++, libgcc or winpthread DLLs.
set(QUENBRIX_WIN_STATIC -static -static-libgcc -static-libstdc++)

find_program(QUENBRIX_DLLTOOL NAMES ${CMAKE_DLLTOOL} x86_64-w64-mingw32-dlltool REQUIRED)

# The plug-in's view of the host: an import library made from our name list.
set(QUENBRIX_MAXAPI_DEF ${CMAKE_CURRENT_SOURCE_DIR}/packaging/MaxAPI.def)
set(QUENBRIX_MAXAPI_IMPLIB ${CMAKE_BINARY_DIR}/implib/libMaxAPI.a)
add_custom_command(
    OUTPUT ${QUENBRIX_MAXAPI_IMPLIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/implib
    COMMAND ${QUENBRIX_DLLTOOL} -d ${QUENBRIX_MAXAPI_DEF} -D MaxAPI.dll
            -l ${QUENBRIX_MAXAPI_IMPLIB}
    DEPENDS ${QUENBRIX_MAXAPI_DEF}
    COMMENT "Import library for MaxAPI.dll")
add_custom_target(maxapi_implib DEPENDS ${QUENBRIX_MAXAPI_IMPLIB})

# quenbrix.mxe64
add_library(quenbrix MODULE ${QUENBRIX_SHARED_SOURCES}
            ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_win.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/packaging/quenbrix.def)
set_target_properties(quenbrix PROPERTIES PREFIX "" SUFFIX ".mxe64"
                      LINK_DEPENDS ${QUENBRIX_MAXAPI_IMPLIB})
add_dependencies(quenbrix maxapi_implib)
target_include_directories(quenbrix PRIVATE source host)
target_compile_options(quenbrix PRIVATE ${QUENBRIX_WARNINGS} -fno-exceptions -fno-rtti)
target_compile_definitions(quenbrix PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_options(quenbrix PRIVATE ${QUENBRIX_WIN_STATIC} -s)
target_link_libraries(quenbrix PRIVATE ${QUENBRIX_MAXAPI_IMPLIB} user32 kernel32)

# Its version resource (windres), from packaging/identity.cmake.
include(packaging/identity.cmake)
enable_language(RC)
string(REPLACE "." "," QUENBRIX_VERSION_COMMAS "${QUENBRIX_VERSION},0")
configure_file(packaging/quenbrix.rc.in ${CMAKE_BINARY_DIR}/quenbrix.rc @ONLY)
target_sources(quenbrix PRIVATE ${CMAKE_BINARY_DIR}/quenbrix.rc)

# MaxAPI.dll: the stand-in host, the same code as the native one. The host
# API is exported by the same name list; its controls by simhost.h
# (testbed/maxhost).
add_library(MaxAPI SHARED ${QUENBRIX_MAXHOST_SOURCES}
            ${QUENBRIX_MAXAPI_DEF})
set_target_properties(MaxAPI PROPERTIES PREFIX "")
target_include_directories(MaxAPI PUBLIC host ${QUENBRIX_MAXHOST_DIR})
target_compile_definitions(MaxAPI PRIVATE SIMHOST_BUILDING_DLL)
target_link_options(MaxAPI PRIVATE ${QUENBRIX_WIN_STATIC})

if(QUENBRIX_TESTS)
    add_subdirectory(testbed/livewin)
    add_subdirectory(tests/windows)
endif()

# The Windows x64 build: the plug-in quenbrix.mxe64, and with mingw-w64
# (cmake/mingw-w64.cmake) also the stand-in host MaxAPI.dll (the test
# programs that run them under Wine come from testbed/livewin and
# tests/windows). Everything lands in the build folder's top.
#
# QUENBRIX_MAX_SDK, the path of the host maker's SDK (max-sdk-base), builds
# the plug-in against the SDK's headers (host/sdk/max_api.h stands in for
# host/max_api.h) and links the SDK's import library x64/MaxAPI.lib in place
# of ours. Only MaxAPI.lib: with mingw, the SDK's MaxAudio.lib would make the
# plug-in import DllMain from it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The plug-in's version resource (windres, or rc with Visual Studio), from
# packaging/identity.cmake.
enable_language(RC)
string(REPLACE "." "," QUENBRIX_VERSION_COMMAS "${QUENBRIX_VERSION},0")
configure_file(packaging/quenbrix.rc.in ${CMAKE_BINARY_DIR}/quenbrix.rc @ONLY)

set(QUENBRIX_PLUGIN_SOURCES ${QUENBRIX_SHARED_SOURCES}
    ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_win.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/quenbrix.def
    ${CMAKE_BINARY_DIR}/quenbrix.rc)

# The host's declarations: ours, or the SDK's through the shim.
function(quenbrix_windows_host target)
    if(QUENBRIX_MAX_SDK)
        target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host/sdk)
        target_include_directories(${target} SYSTEM PRIVATE
            ${QUENBRIX_MAX_SDK}/c74support/max-includes)
        target_link_libraries(${target} PRIVATE
            ${QUENBRIX_MAX_SDK}/c74support/max-includes/x64/MaxAPI.lib)
    else()
        target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host)
    endif()
endfunction()

if(MSVC)
    # Visual Studio (untested here): the plug-in alone, against the SDK, with
    # the C runtime linked statically (/MT) as the host's own build does.
    if(NOT QUENBRIX_MAX_SDK)
        message(FATAL_ERROR "With Visual Studio, give the host maker's SDK: "
                            "-DQUENBRIX_MAX_SDK=<path to max-sdk-base>")
    endif()
    add_library(quenbrix MODULE ${QUENBRIX_PLUGIN_SOURCES})
    set_target_properties(quenbrix PROPERTIES PREFIX "" SUFFIX ".mxe64"
                          MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    target_include_directories(quenbrix PRIVATE ${QUENBRIX_SOURCE_INCLUDES})
    quenbrix_windows_host(quenbrix)
    target_compile_options(quenbrix PRIVATE /W3 /GR-)
    target_compile_definitions(quenbrix PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                               _CRT_SECURE_NO_WARNINGS)
    target_link_libraries(quenbrix PRIVATE user32 kernel32)
    return()
endif()

# The compiler's runtime goes into each binary: nothing may import
# libstdc++, libgcc or winpthread DLLs.
set(QUENBRIX_WIN_STATIC -static -static-libgcc -static-libstdc++)

find_program(QUENBRIX_DLLTOOL NAMES ${CMAKE_DLLTOOL} x86_64-w64-mingw32-dlltool REQUIRED)

# The plug-in's view of the host: an import library made from the list of
# host calls, through a module-definition file written from it.
set(QUENBRIX_MAXAPI_DEF ${CMAKE_BINARY_DIR}/MaxAPI.def)
list(JOIN QUENBRIX_HOST_API "\n    " exports)
file(CONFIGURE OUTPUT ${QUENBRIX_MAXAPI_DEF} CONTENT
"; The host object API that quenbrix calls, by name, as MaxAPI.dll exports it:
; written by the build from host/max_api_calls.txt. dlltool makes the
; plug-in's import library from it, and the stand-in MaxAPI.dll exports the
; same names from it.
LIBRARY MaxAPI.dll
EXPORTS
    ${exports}
")
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
add_library(quenbrix MODULE ${QUENBRIX_PLUGIN_SOURCES})
set_target_properties(quenbrix PROPERTIES PREFIX "" SUFFIX ".mxe64")
target_include_directories(quenbrix PRIVATE ${QUENBRIX_SOURCE_INCLUDES})
quenbrix_windows_host(quenbrix)
if(NOT QUENBRIX_MAX_SDK)
    set_target_properties(quenbrix PROPERTIES LINK_DEPENDS ${QUENBRIX_MAXAPI_IMPLIB})
    add_dependencies(quenbrix maxapi_implib)
    target_link_libraries(quenbrix PRIVATE ${QUENBRIX_MAXAPI_IMPLIB})
endif()
target_compile_options(quenbrix PRIVATE ${QUENBRIX_WARNINGS} -fno-exceptions -fno-rtti)
target_compile_definitions(quenbrix PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_options(quenbrix PRIVATE ${QUENBRIX_WIN_STATIC} -s)
target_link_libraries(quenbrix PRIVATE user32 kernel32)

# MaxAPI.dll: the stand-in host, the same code as the native one. The host
# API is exported by the same name list; its controls by maxhost.h
# (testbed/maxhost).
add_library(MaxAPI SHARED ${QUENBRIX_MAXHOST_SOURCES}
            ${QUENBRIX_MAXAPI_DEF})
set_target_properties(MaxAPI PROPERTIES PREFIX "")
target_include_directories(MaxAPI PUBLIC host ${QUENBRIX_MAXHOST_DIR})
target_compile_definitions(MaxAPI PRIVATE MAXHOST_BUILDING_DLL)
target_link_options(MaxAPI PRIVATE ${QUENBRIX_WIN_STATIC})

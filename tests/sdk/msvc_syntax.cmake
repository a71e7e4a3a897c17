# Compiles the Windows plug-in's sources as Visual Studio would see them:
# clang for x86_64-pc-windows-msvc (_MSC_VER set, no __GNUC__, LLP64), with
# Microsoft extensions, against mingw-w64's Windows headers, syntax only.
# Any GNU extension (-Wpedantic: cl takes none) or other warning fails it.
# Once with our host declarations, and once with the SDK's when SDK is given.
#
#   cmake -DCLANG=clang-14 -DMINGW_INCLUDE=/usr/x86_64-w64-mingw32/include
#         -DSOURCE_DIR=<source tree> -DGENERATED_DIR=<build>/generated
#         [-DSDK=<max-sdk-base>] -P msvc_syntax.cmake
cmake_minimum_required(VERSION 3.20)

set(hosts "-I${SOURCE_DIR}/host")
if(SDK)
    list(APPEND hosts "-I${SOURCE_DIR}/host/sdk,-isystem,${SDK}/c74support/max-includes")
endif()

set(failed 0)
foreach(host IN LISTS hosts)
    string(REPLACE "," ";" host "${host}")
    foreach(file liveapp.cpp cleantitle.cpp liveapp_win.cpp)
        execute_process(
            COMMAND ${CLANG} -x c++ -std=c++17 --target=x86_64-pc-windows-msvc
                    -fms-extensions -fsyntax-only -Wall -Wextra -Wpedantic -Werror
                    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN
                    -isystem ${MINGW_INCLUDE}
                    -include ${CMAKE_CURRENT_LIST_DIR}/msvc_mingw_headers.h
                    -I${SOURCE_DIR}/source -I${GENERATED_DIR} ${host} ${SOURCE_DIR}/source/${file}
            RESULT_VARIABLE rc)
        list(GET host 0 which)
        if(rc EQUAL 0)
            message(STATUS "ok: ${file} (${which})")
        else()
            message(STATUS "FAILED: ${file} (${which})")
            set(failed 1)
        endif()
    endforeach()
endforeach()
if(failed)
    message(FATAL_ERROR "Not every source compiles for an MSVC target")
endif()

# Reads the export and import tables of the Windows binaries and fails on any
# drift from what the host expects of the plug-in.
#
#   cmake -DOBJDUMP=... -DPLUGIN=quenbrix.mxe64 -DHOSTDLL=MaxAPI.dll
#         -DMAXAPI_DEF=packaging/MaxAPI.def -P pe_check.cmake

cmake_minimum_required(VERSION 3.20)
set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

# Parses `objdump -p` into <prefix>_EXPORTS, <prefix>_DLLS and, per DLL,
# <prefix>_IMPORTS_<DLL in upper case>.
function(read_pe file prefix)
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objdump failed on ${file}")
    endif()
    string(REPLACE ";" "," dump "${dump}")
    string(REPLACE "\n" ";" lines "${dump}")
    set(exports "")
    set(dlls "")
    set(mode "")
    set(dll "")
    foreach(line IN LISTS lines)
        if(line MATCHES "file format (.*)$")
            set(${prefix}_FORMAT "${CMAKE_MATCH_1}" PARENT_SCOPE)
        elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(mode exports)
        elseif(line MATCHES "^[ \t]*DLL Name: (.+)$")
            set(mode imports)
            string(TOUPPER "${CMAKE_MATCH_1}" dll)
            list(APPEND dlls ${dll})
            set(imports_${dll} "")
        elseif(line MATCHES "^[ \t]*$")
            if(mode STREQUAL "exports")
                set(mode "")
            endif()
        elseif(mode STREQUAL "exports" AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
            list(APPEND exports ${CMAKE_MATCH_1})
        elseif(mode STREQUAL "imports" AND line MATCHES "^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+([A-Za-z_0-9@?]+)$")
            list(APPEND imports_${dll} ${CMAKE_MATCH_1})
        elseif(line MATCHES "^[A-Z]" AND NOT line MATCHES "^DLL Name")
            set(mode "")
        endif()
    endforeach()
    set(${prefix}_EXPORTS ${exports} PARENT_SCOPE)
    set(${prefix}_DLLS ${dlls} PARENT_SCOPE)
    foreach(d IN LISTS dlls)
        set(${prefix}_IMPORTS_${d} ${imports_${d}} PARENT_SCOPE)
    endforeach()
endfunction()

read_pe(${PLUGIN} P)

if(NOT P_FORMAT STREQUAL "pei-x86-64")
    fail("quenbrix.mxe64 is '${P_FORMAT}', not a 64-bit Windows image")
endif()
if(NOT P_EXPORTS STREQUAL "ext_main")
    fail("quenbrix.mxe64 must export exactly ext_main, exports: ${P_EXPORTS}")
endif()

# The DLLs: the host's API, user32, kernel32 and the C runtime that mingw-w64
# always links against (msvcrt.dll); no compiler runtime DLL.
set(expected_dlls KERNEL32.DLL MAXAPI.DLL MSVCRT.DLL USER32.DLL)
set(dlls ${P_DLLS})
list(SORT dlls)
if(NOT dlls STREQUAL expected_dlls)
    fail("quenbrix.mxe64 imports from ${P_DLLS}; expected exactly ${expected_dlls}")
endif()

# Host API imports: only names from our list.
file(STRINGS ${MAXAPI_DEF} def_lines)
set(def_names "")
foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([a-z_0-9]+)[ \t]*$")
        list(APPEND def_names ${CMAKE_MATCH_1})
    endif()
endforeach()
if(NOT P_IMPORTS_MAXAPI.DLL)
    fail("no host API import found")
endif()
foreach(name IN LISTS P_IMPORTS_MAXAPI.DLL)
    if(NOT name IN_LIST def_names)
        fail("MaxAPI.dll import ${name} is not in MaxAPI.def")
    endif()
endforeach()

# The window calls, exactly.
set(expected_user32 AttachThreadInput BroadcastSystemMessageW EnumWindows GetClassNameA
    GetForegroundWindow GetWindow GetWindowTextLengthW GetWindowTextW
    GetWindowThreadProcessId IsIconic IsWindow IsWindowVisible RegisterWindowMessageW
    SetActiveWindow SetFocus SetForegroundWindow SetWindowPos ShowWindow)
set(user32 ${P_IMPORTS_USER32.DLL})
list(SORT user32)
if(NOT user32 STREQUAL expected_user32)
    fail("USER32.dll imports ${user32}; expected ${expected_user32}")
endif()

# The process calls must come from kernel32 (beside what the runtime uses).
foreach(name CloseHandle CreateProcessW GetCurrentProcessId GetCurrentThreadId
        GetModuleFileNameW OpenProcess QueryFullProcessImageNameW WaitForSingleObject)
    if(NOT name IN_LIST P_IMPORTS_KERNEL32.DLL)
        fail("KERNEL32.dll import ${name} missing")
    endif()
endforeach()

# The stand-in host DLL: every name of the list exported, and no compiler
# runtime DLL imported either.
if(HOSTDLL)
    read_pe(${HOSTDLL} H)
    foreach(name IN LISTS def_names)
        if(NOT name IN_LIST H_EXPORTS)
            fail("MaxAPI.dll does not export ${name}")
        endif()
    endforeach()
    foreach(d IN LISTS H_DLLS)
        if(d MATCHES "^LIB")
            fail("MaxAPI.dll imports the runtime DLL ${d}")
        endif()
    endforeach()
endif()

# The version resource that Windows shows under the file's Properties,
# read back by mingw's windres and held against packaging/identity.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/../../packaging/identity.cmake)
string(REGEX REPLACE "objdump$" "windres" windres_guess "${OBJDUMP}")
find_program(WINDRES NAMES ${windres_guess} x86_64-w64-mingw32-windres windres)
execute_process(COMMAND ${WINDRES} -i ${PLUGIN} -O rc OUTPUT_VARIABLE rc RESULT_VARIABLE rc_failed)
string(REPLACE "." ", " version_commas "${QUENBRIX_VERSION}, 0")
if(rc_failed OR NOT rc MATCHES "VERSIONINFO")
    fail("quenbrix.mxe64 has no version resource")
else()
    foreach(field FILEVERSION PRODUCTVERSION)
        if(NOT rc MATCHES "\n *${field} ${version_commas}\n")
            fail("version resource: ${field} is not ${version_commas}")
        endif()
    endforeach()
    foreach(pair "FileDescription=${QUENBRIX_DESCRIPTION}" "ProductName=${QUENBRIX_PRODUCT_NAME}"
            "FileVersion=${QUENBRIX_VERSION}" "ProductVersion=${QUENBRIX_VERSION}"
            "CompanyName=${QUENBRIX_AUTHOR}" "LegalCopyright=${QUENBRIX_COPYRIGHT}"
            "OriginalFilename=quenbrix.mxe64")
        string(REPLACE "=" ";" pair "${pair}")
        list(GET pair 0 key)
        list(GET pair 1 value)
        string(REGEX REPLACE "([][().*+?^$\\])" "\\\\\\1" value_pattern "${value}")
        if(NOT rc MATCHES "VALUE \"${key}\", \"${value_pattern}\"")
            fail("version resource: ${key} is not \"${value}\"")
        endif()
    endforeach()
    # The string table's block names the language and code page that the
    # translation entry announces: U.S. English, Windows-1252.
    if(NOT rc MATCHES "BLOCK \"040904E4\"" OR NOT rc MATCHES "\"Translation\", 0x409, 1252")
        fail("version resource: no U.S. English, code page 1252 string table")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "PE check failed:\n${failures}")
endif()
list(LENGTH P_IMPORTS_MAXAPI.DLL n)
message(STATUS "quenbrix.mxe64: exports ${P_EXPORTS}; imports ${dlls} (${n} host calls)")

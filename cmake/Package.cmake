# The installable Max package: ${CMAKE_BINARY_DIR}/dist/quenbrix/ with the
# externals that the cross builds made, the demo device, the help and
# launcher patchers and the icon (written by packaging/generate/), the
# reference page, package-info.json, the license and a README; then the
# release zip and its checksum beside it.
#
# Included from the top-level CMakeLists.txt, this file defines the target
# that assembles the package. Run with `cmake -P` it is the assembly step
# itself (see the end of the file).

if(NOT CMAKE_SCRIPT_MODE_FILE)

set(QUENBRIX_PACKAGE_VERSION "${QUENBRIX_VERSION}")
set(QUENBRIX_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QUENBRIX_PACKAGE_DIR ${QUENBRIX_DIST_DIR}/quenbrix)
set(QUENBRIX_PACKAGE_ZIP ${QUENBRIX_DIST_DIR}/quenbrix-${QUENBRIX_PACKAGE_VERSION}.zip)
set(QUENBRIX_PACKAGE_STATIC ${CMAKE_CURRENT_SOURCE_DIR}/packaging/max-package)
set(QUENBRIX_WINDOWS_EXTERNAL ${CMAKE_BINARY_DIR}/windows/quenbrix.mxe64)
set(QUENBRIX_MACOS_EXTERNAL ${CMAKE_BINARY_DIR}/macos/quenbrix.mxo)

# Each external goes into the package when its cross build is part of this
# build; the package then waits for it.
set(QUENBRIX_PACKAGE_DEPENDS)
set(QUENBRIX_PACKAGE_HAS_WINDOWS OFF)
set(QUENBRIX_PACKAGE_HAS_MACOS OFF)
if(TARGET quenbrix_windows)
    set(QUENBRIX_PACKAGE_HAS_WINDOWS ON)
    list(APPEND QUENBRIX_PACKAGE_DEPENDS quenbrix_windows)
endif()
if(TARGET quenbrix_macos)
    set(QUENBRIX_PACKAGE_HAS_MACOS ON)
    list(APPEND QUENBRIX_PACKAGE_DEPENDS quenbrix_macos)
endif()
if(NOT QUENBRIX_PACKAGE_HAS_WINDOWS OR NOT QUENBRIX_PACKAGE_HAS_MACOS)
    message(STATUS "Max package: Windows external ${QUENBRIX_PACKAGE_HAS_WINDOWS}, "
                   "macOS external ${QUENBRIX_PACKAGE_HAS_MACOS}")
endif()

# The project's address, for package-info.json's "website"; left out while
# there is none. A build on the project's hosting sets it (QUENBRIX_WEBSITE in
# the environment, or -DQUENBRIX_WEBSITE=...).
set(QUENBRIX_WEBSITE "$ENV{QUENBRIX_WEBSITE}" CACHE STRING
    "The project's address, for the package's website entry (none when empty)")
set(QUENBRIX_WEBSITE_ENTRY)
if(QUENBRIX_WEBSITE)
    set(QUENBRIX_WEBSITE_ENTRY "\n\t\"website\" : \"${QUENBRIX_WEBSITE}\",")
endif()
configure_file(${QUENBRIX_PACKAGE_STATIC}/package-info.json.in
               ${CMAKE_BINARY_DIR}/package/package-info.json @ONLY)

file(GLOB_RECURSE QUENBRIX_PACKAGE_SOURCES CONFIGURE_DEPENDS
     ${QUENBRIX_PACKAGE_STATIC}/*)

# The patchers, the device and the icon, written from their Python
# descriptions (-B: no byte code in the source tree).
set(QUENBRIX_DEMO_DEVICE "quenbrix Demo.amxd")
set(QUENBRIX_PACKAGE_GENERATED ${CMAKE_BINARY_DIR}/package/generated)
set(QUENBRIX_PACKAGE_GENERATED_FILES
    "${QUENBRIX_PACKAGE_GENERATED}/devices/${QUENBRIX_DEMO_DEVICE}"
    ${QUENBRIX_PACKAGE_GENERATED}/help/quenbrix.maxhelp
    ${QUENBRIX_PACKAGE_GENERATED}/extras/quenbrix-overview.maxpat
    ${QUENBRIX_PACKAGE_GENERATED}/icon.png)
file(GLOB QUENBRIX_PACKAGE_GENERATORS CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/packaging/generate/*.py)
add_custom_command(
    OUTPUT ${QUENBRIX_PACKAGE_GENERATED_FILES}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUENBRIX_PACKAGE_GENERATED}
    COMMAND Python3::Interpreter -B make_package_files.py ${QUENBRIX_PACKAGE_GENERATED}
            ${QUENBRIX_GENERATED_DIR}/liveapp_identity.h
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/packaging/generate
    DEPENDS ${QUENBRIX_PACKAGE_GENERATORS}
            ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_texts.h
            ${QUENBRIX_GENERATED_DIR}/liveapp_identity.h
            ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_win.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_mac.cpp
    COMMENT "Writing the demo device, the help and launcher patchers and the icon"
    VERBATIM)

# What the assembly takes, apart from where it writes; the signing test
# assembles a package of its own from the same pieces.
set(QUENBRIX_PACKAGE_ASSEMBLY
    -DSTATIC_DIR=${QUENBRIX_PACKAGE_STATIC}
    -DPACKAGE_INFO=${CMAKE_BINARY_DIR}/package/package-info.json
    -DGENERATED_DIR=${QUENBRIX_PACKAGE_GENERATED}
    -DWINDOWS_EXTERNAL=$<$<BOOL:${QUENBRIX_PACKAGE_HAS_WINDOWS}>:${QUENBRIX_WINDOWS_EXTERNAL}>
    -DMACOS_EXTERNAL=$<$<BOOL:${QUENBRIX_PACKAGE_HAS_MACOS}>:${QUENBRIX_MACOS_EXTERNAL}>
    -DZIP_DATE=${QUENBRIX_DATE}
    -DSIGN_TOOL=${CMAKE_CURRENT_SOURCE_DIR}/tools/sign)

# Assembled on every build: it copies a handful of files and zips them, and
# so never ships an external older than the one the cross build just made.
add_custom_target(quenbrix_package ALL
    COMMAND ${CMAKE_COMMAND} ${QUENBRIX_PACKAGE_ASSEMBLY}
        -DDIST_DIR=${QUENBRIX_DIST_DIR} -DZIP=${QUENBRIX_PACKAGE_ZIP}
        -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${QUENBRIX_PACKAGE_SOURCES} ${QUENBRIX_PACKAGE_GENERATED_FILES}
            ${CMAKE_CURRENT_LIST_FILE} ${CMAKE_CURRENT_SOURCE_DIR}/tools/sign
    COMMENT "Assembling the Max package in ${QUENBRIX_PACKAGE_DIR}"
    VERBATIM)
if(QUENBRIX_PACKAGE_DEPENDS)
    add_dependencies(quenbrix_package ${QUENBRIX_PACKAGE_DEPENDS})
endif()

return()
endif()

# ---------------------------------------------------------------------------
# Assembly, run as `cmake -P` by the target above.
#   STATIC_DIR        packaging/max-package
#   PACKAGE_INFO      the configured package-info.json
#   GENERATED_DIR     devices/, help/, extras/ and icon.png, as generated
#   DIST_DIR          where the package folder and the zip go
#   ZIP               the zip to write; its checksum goes to ZIP.sha256
#   ZIP_DATE          the time stamp of every file in the zip, yyyy/mm/dd
#   WINDOWS_EXTERNAL  quenbrix.mxe64, or empty when not built here
#   MACOS_EXTERNAL    quenbrix.mxo bundle folder, or empty when not built here
#   SIGN_TOOL         tools/sign, which signs the package's copy of the
#                     Windows external when the environment names a
#                     certificate (QUENBRIX_SIGN_*), and says once otherwise
# With ZIP_ONLY set, only DIST_DIR, ZIP and ZIP_DATE (by default the
# release's date, from packaging/identity.cmake) are used: the folder
# DIST_DIR/quenbrix is zipped as it stands (the release does that on a Mac,
# after signing the macOS external there).

set(package ${DIST_DIR}/quenbrix)
if(NOT ZIP_ONLY)
    file(REMOVE_RECURSE ${package})
    file(MAKE_DIRECTORY ${package}/externals)

    file(COPY ${STATIC_DIR}/docs ${STATIC_DIR}/license ${STATIC_DIR}/README.md
         DESTINATION ${package})
    file(COPY ${PACKAGE_INFO} DESTINATION ${package})
    file(COPY ${GENERATED_DIR}/ DESTINATION ${package})

    if(WINDOWS_EXTERNAL)
        if(NOT EXISTS ${WINDOWS_EXTERNAL})
            message(FATAL_ERROR "the Windows build made no ${WINDOWS_EXTERNAL}")
        endif()
        file(COPY ${WINDOWS_EXTERNAL} DESTINATION ${package}/externals)
        if(SIGN_TOOL)
            execute_process(COMMAND sh ${SIGN_TOOL} ${package}/externals/quenbrix.mxe64
                            RESULT_VARIABLE signed)
            if(NOT signed EQUAL 0)
                message(FATAL_ERROR "could not sign ${package}/externals/quenbrix.mxe64")
            endif()
        endif()
    endif()
    if(MACOS_EXTERNAL)
        if(NOT EXISTS ${MACOS_EXTERNAL}/Contents/MacOS/quenbrix)
            message(FATAL_ERROR "the macOS build made no ${MACOS_EXTERNAL}")
        endif()
        file(COPY ${MACOS_EXTERNAL} DESTINATION ${package}/externals)
    endif()
endif()

# The zip holds the folder quenbrix/ itself, so that unpacking it into
# Max's Packages folder installs the package. A fixed time stamp, the
# release's date, makes the same content give the same zip.
file(REMOVE ${ZIP} ${ZIP}.sha256)
if(NOT ZIP_DATE)
    include(${CMAKE_CURRENT_LIST_DIR}/../packaging/identity.cmake)
    set(ZIP_DATE ${QUENBRIX_DATE})
endif()
string(REPLACE "/" "-" zip_mtime "${ZIP_DATE}")
execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip --mtime=${zip_mtime} quenbrix
    WORKING_DIRECTORY ${DIST_DIR}
    RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
    message(FATAL_ERROR "could not write ${ZIP}")
endif()

# The usual "<hash>  <file name>" line, which `sha256sum -c` checks.
file(SHA256 ${ZIP} hash)
get_filename_component(zip_name ${ZIP} NAME)
file(WRITE ${ZIP}.sha256 "${hash}  ${zip_name}\n")

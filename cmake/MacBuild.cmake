# What this project builds for macOS: the plug-in bundle quenbrix.mxo, with
# universal code (x86-64 for macOS 10.11+, arm64 for 11.0+) in
# Contents/MacOS/quenbrix, Contents/Info.plist and Contents/PkgInfo.
#
# Two ways in:
# - cross-built on Linux with cmake/macos-cross.cmake (QUENBRIX_MACOS_CROSS):
#   one module per architecture against the stubs in testbed/macos-sdk/, joined by lipo;
# - on a Mac with Apple's SDK and CMAKE_OSX_ARCHITECTURES "x86_64;arm64":
#   one bundle target, CMake and Apple's tools make it universal.
#
# Either way, QUENBRIX_MAX_SDK, the path of the host maker's SDK
# (max-sdk-base), builds against the SDK's headers (host/sdk/max_api.h stands
# in for host/max_api.h), takes the host's names from the SDK's
# script/max-linker-flags.txt and MaxAudioAPI from the SDK's framework. The
# SDK has no JitterAPI binary, so ours stays; its MaxAPI.framework is
# outdated (it lacks path_absolutepath) and is never linked.
set(QUENBRIX_MACOS_EXECUTABLE quenbrix)
set(QUENBRIX_MACOS_BUNDLE_ID "${QUENBRIX_REVERSE_DOMAIN}.quenbrix")
set(QUENBRIX_MACOS_VERSION "${QUENBRIX_VERSION}")

set(QUENBRIX_MACOS_SDK ${QUENBRIX_MACOS_SDK_DIR})
set(QUENBRIX_MACOS_SOURCES ${QUENBRIX_SHARED_SOURCES}
    ${CMAKE_CURRENT_SOURCE_DIR}/source/liveapp_mac.cpp)

set(bundle ${QUENBRIX_MACOS_OUTPUT}/quenbrix.mxo)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/Info.plist.in
               ${CMAKE_CURRENT_BINARY_DIR}/Info.plist @ONLY)

# The host's object API is taken from the host at load, by name: one
# -U flag per function of the list of host calls, so that calling one that
# is not listed fails the link.
set(QUENBRIX_MACOS_HOST_FLAGS)
if(QUENBRIX_MAX_SDK)
    # The SDK's list, '-Wl,-U,_name' items between blanks, as its own build
    # passes it.
    file(READ ${QUENBRIX_MAX_SDK}/script/max-linker-flags.txt flags)
    string(REGEX MATCHALL "-Wl,-U,_[A-Za-z0-9_]+" QUENBRIX_MACOS_HOST_FLAGS "${flags}")
    if(NOT QUENBRIX_MACOS_HOST_FLAGS)
        message(FATAL_ERROR "no host names in ${QUENBRIX_MAX_SDK}/script/max-linker-flags.txt")
    endif()
else()
    foreach(name IN LISTS QUENBRIX_HOST_API)
        list(APPEND QUENBRIX_MACOS_HOST_FLAGS "-Wl,-U,_${name}")
    endforeach()
endif()

# Compile and link settings of the plug-in, whichever SDK it is built with.
function(quenbrix_macos_module target)
    target_include_directories(${target} PRIVATE ${QUENBRIX_SOURCE_INCLUDES})
    if(QUENBRIX_MAX_SDK)
        target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host/sdk)
        target_include_directories(${target} SYSTEM PRIVATE
            ${QUENBRIX_MAX_SDK}/c74support/max-includes)
        # The library itself: a copy of the SDK may hold the framework's
        # symbolic links as plain files.
        set(maxaudio
            ${QUENBRIX_MAX_SDK}/c74support/msp-includes/MaxAudioAPI.framework/Versions/A/MaxAudioAPI)
    else()
        target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host)
        set(maxaudio "SHELL:-framework MaxAudioAPI")
    endif()
    # Unwind tables in both slices, as Apple's compiler makes them by
    # default; clang 14 leaves them out here (on x86-64 for -ffreestanding,
    # on arm64 for -fno-exceptions). Without them an Objective-C exception
    # raised inside an AppKit call cannot pass through our frames to the
    # handlers further up, and the process (Live) ends.
    target_compile_options(${target} PRIVATE ${QUENBRIX_WARNINGS}
        -fno-exceptions -fno-rtti -fvisibility=hidden -fasynchronous-unwind-tables)
    # MaxAudioAPI and JitterAPI are named among the load commands although
    # nothing is taken from them, as the host expects of its plug-ins; so no
    # -dead_strip_dylibs.
    target_link_options(${target} PRIVATE
        -F${QUENBRIX_MACOS_SDK}/HostFrameworks
        "SHELL:-framework AppKit" "SHELL:-framework Foundation"
        ${maxaudio} "SHELL:-framework JitterAPI" -lobjc
        -Wl,-exported_symbol,_ext_main -Wl,-adhoc_codesign ${QUENBRIX_MACOS_HOST_FLAGS})
endfunction()

if(QUENBRIX_MACOS_CROSS)
    set(slices)
    foreach(slice IN ITEMS "x86_64 10.11" "arm64 11.0")
        separate_arguments(slice)
        list(GET slice 0 arch)
        list(GET slice 1 min)
        set(target quenbrix_${arch})
        add_library(${target} MODULE ${QUENBRIX_MACOS_SOURCES})
        quenbrix_macos_module(${target})
        # No C library headers but the few in testbed/macos-sdk/usr/include.
        target_compile_options(${target} PRIVATE "SHELL:-target ${arch}-apple-macos${min}"
            -ffreestanding -nostdlibinc -isystem ${QUENBRIX_MACOS_SDK}/usr/include)
        target_link_options(${target} PRIVATE "SHELL:-target ${arch}-apple-macos${min}"
            -fuse-ld=lld --ld-path=${QUENBRIX_LD64_16} -Wl,-platform_version,macos,${min},11.0)
        # The code signature names the file it was made for: link straight
        # to the executable's name.
        set_target_properties(${target} PROPERTIES
            LINK_DEPENDS "${QUENBRIX_MACOS_SDK}/HostFrameworks/MaxAudioAPI.framework/MaxAudioAPI.tbd;${QUENBRIX_MACOS_SDK}/HostFrameworks/JitterAPI.framework/JitterAPI.tbd"
            OUTPUT_NAME ${QUENBRIX_MACOS_EXECUTABLE} PREFIX "" SUFFIX ""
            LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/slices/${arch})
        list(APPEND slices $<TARGET_FILE:${target}>)
    endforeach()

    add_custom_command(
        OUTPUT ${bundle}/Contents/MacOS/quenbrix ${bundle}/Contents/Info.plist
               ${bundle}/Contents/PkgInfo
        COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle}/Contents/MacOS
        COMMAND ${QUENBRIX_LIPO} -create ${slices}
                -output ${bundle}/Contents/MacOS/quenbrix
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/Info.plist
                ${bundle}/Contents/Info.plist
        COMMAND ${CMAKE_COMMAND} -E copy
                ${CMAKE_CURRENT_SOURCE_DIR}/packaging/PkgInfo
                ${bundle}/Contents/PkgInfo
        DEPENDS quenbrix_x86_64 quenbrix_arm64
                ${CMAKE_CURRENT_BINARY_DIR}/Info.plist
                ${CMAKE_CURRENT_SOURCE_DIR}/packaging/PkgInfo
        COMMENT "Joining the slices into quenbrix.mxo")
    add_custom_target(quenbrix_bundle ALL DEPENDS ${bundle}/Contents/MacOS/quenbrix)
else()
    # Apple's SDK and toolchain (untested here).
    add_library(quenbrix MODULE ${QUENBRIX_MACOS_SOURCES})
    quenbrix_macos_module(quenbrix)
    target_link_options(quenbrix PRIVATE -nostdlib++)
    set_target_properties(quenbrix PROPERTIES
        BUNDLE TRUE BUNDLE_EXTENSION mxo
        MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_BINARY_DIR}/Info.plist
        LIBRARY_OUTPUT_DIRECTORY ${QUENBRIX_MACOS_OUTPUT})
    add_custom_command(TARGET quenbrix POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy
                ${CMAKE_CURRENT_SOURCE_DIR}/packaging/PkgInfo
                $<TARGET_BUNDLE_CONTENT_DIR:quenbrix>/PkgInfo)
endif()

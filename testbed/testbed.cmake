# Where the test bed's sources are: the stand-ins that let the plug-in build
# and run here, where there is no Max, no Live, no Windows and no macOS.
# Nothing under testbed/ ships.
#   maxhost/    the stand-in host: the host's object API, plus controls for tests
#   appkit/     the stand-in Objective-C runtime, AppKit model and process calls
#   livewin/    the Windows side under Wine: Live's windows, a helper application
#   macos-sdk/  C headers and .tbd stubs that the macOS cross link uses
#   gnustep/    what GNUstep on Linux lacks to run the macOS file: an
#               objc_msgSend over gcc's runtime, proc_name and proc_pidpath
#   macholoader/ maps and binds the shipped bundle's x86-64 slice on Linux
#   objc_msgsend_x86_64.S  objc_msgSend for appkit/ and gnustep/, each
#               over its own runtime's lookup
set(QUENBRIX_TESTBED_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QUENBRIX_MAXHOST_DIR ${QUENBRIX_TESTBED_DIR}/maxhost)
set(QUENBRIX_MAXHOST_SOURCES)
foreach(part IN ITEMS classes objects scheduler threads console memory files faults controls)
    list(APPEND QUENBRIX_MAXHOST_SOURCES ${QUENBRIX_MAXHOST_DIR}/${part}.cpp)
endforeach()
set(QUENBRIX_APPKIT_DIR ${QUENBRIX_TESTBED_DIR}/appkit)
set(QUENBRIX_APPKIT_SOURCES
    ${QUENBRIX_APPKIT_DIR}/runtime.cpp
    ${QUENBRIX_APPKIT_DIR}/objc_msgsend_x86_64.S
    ${QUENBRIX_APPKIT_DIR}/appkit.cpp
    ${QUENBRIX_APPKIT_DIR}/proc.cpp)
set(QUENBRIX_APPKIT_INCLUDES ${QUENBRIX_APPKIT_DIR}/include ${QUENBRIX_APPKIT_DIR})
set(QUENBRIX_MACOS_SDK_DIR ${QUENBRIX_TESTBED_DIR}/macos-sdk)
set(QUENBRIX_GNUSTEP_GLUE_SOURCES
    ${QUENBRIX_TESTBED_DIR}/gnustep/objc_msgsend_x86_64.S
    ${QUENBRIX_TESTBED_DIR}/gnustep/proc_linux.c)
set(QUENBRIX_MACHOLOADER_DIR ${QUENBRIX_TESTBED_DIR}/macholoader)
set(QUENBRIX_MACHOLOADER_SOURCES ${QUENBRIX_MACHOLOADER_DIR}/macho_loader.cpp)
# ext_main of the shipped slice, loaded on first call, for a program that
# would otherwise link the plug-in from source.
set(QUENBRIX_SHIPPED_ENTRY_SOURCES ${QUENBRIX_MACHOLOADER_DIR}/shipped_ext_main.c)

# Writes the plug-in's identity header, packaging/liveapp_identity.h.in
# filled from packaging/identity.cmake, into QUENBRIX_IDENTITY_HEADER_DIR.
# Included by the build; run on its own where a build does not go through
# CMake:
#   cmake -DQUENBRIX_IDENTITY_HEADER_DIR=<folder> -P packaging/identity_header.cmake
include(${CMAKE_CURRENT_LIST_DIR}/identity.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/liveapp_identity.h.in
               ${QUENBRIX_IDENTITY_HEADER_DIR}/liveapp_identity.h @ONLY)

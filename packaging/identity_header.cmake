# Writes the plug-in's identity header (packaging/liveapp_identity.h.in
# filled from packaging/identity.cmake) where a build that does not go
# through CMake needs it:
#   cmake -DOUT=<folder> -P packaging/identity_header.cmake
include(${CMAKE_CURRENT_LIST_DIR}/identity.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/liveapp_identity.h.in ${OUT}/liveapp_identity.h @ONLY)

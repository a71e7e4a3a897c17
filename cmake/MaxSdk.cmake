# The host maker's SDK (max-sdk-base), for the builds and for the checks
# against it.
#
#   QUENBRIX_MAX_SDK        (an option) build both plug-ins against this SDK
#   QUENBRIX_SDK_CHECK_DIR  the SDK the checks compare with: QUENBRIX_MAX_SDK,
#                           or ../shared/max-sdk-base beside the source tree;
#                           empty when there is none (the checks then skip
#                           and say why)
#   QUENBRIX_SDK_VARIANT    ON when, besides our own build, each plug-in is
#                           built once more against that SDK, to compare
if(QUENBRIX_MAX_SDK)
    get_filename_component(QUENBRIX_MAX_SDK "${QUENBRIX_MAX_SDK}" ABSOLUTE)
    set(QUENBRIX_SDK_CHECK_DIR ${QUENBRIX_MAX_SDK})
else()
    get_filename_component(QUENBRIX_SDK_CHECK_DIR
                           "${CMAKE_SOURCE_DIR}/../shared/max-sdk-base" ABSOLUTE)
endif()

set(QUENBRIX_SDK_VARIANT OFF)
set(QUENBRIX_SDK_MISSING "")
if(NOT EXISTS ${QUENBRIX_SDK_CHECK_DIR}/c74support/max-includes/ext.h)
    if(QUENBRIX_MAX_SDK)
        message(FATAL_ERROR "QUENBRIX_MAX_SDK: no max-sdk-base at ${QUENBRIX_MAX_SDK}")
    endif()
    set(QUENBRIX_SDK_MISSING
        "SDK checks skipped: the host maker's SDK is not at ${QUENBRIX_SDK_CHECK_DIR}")
    set(QUENBRIX_SDK_CHECK_DIR "")
    message(STATUS "${QUENBRIX_SDK_MISSING}")
elseif(NOT QUENBRIX_MAX_SDK)
    set(QUENBRIX_SDK_VARIANT ON)
    message(STATUS "SDK checks: against ${QUENBRIX_SDK_CHECK_DIR}")
endif()

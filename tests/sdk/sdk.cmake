# The host maker's SDK (max-sdk-base), for the builds and for the checks
# against it. Included by cmake/WindowsCross.cmake and cmake/MacCross.cmake.
#
#   QUENBRIX_MAX_SDK        build both plug-ins against this SDK
#   QUENBRIX_SDK_CHECK_DIR  the SDK the checks compare with: QUENBRIX_MAX_SDK,
#                           or ../shared/max-sdk-base beside the source tree.
#                           Without it the checks are skipped, saying why.
#   QUENBRIX_SDK_VARIANT    ON when, besides our own build, each plug-in is
#                           built once more against that SDK to compare
include_guard(GLOBAL)

set(QUENBRIX_MAX_SDK "" CACHE PATH "The host maker's SDK (max-sdk-base) to build against")
if(QUENBRIX_MAX_SDK)
    get_filename_component(QUENBRIX_MAX_SDK "${QUENBRIX_MAX_SDK}" ABSOLUTE)
    set(QUENBRIX_SDK_CHECK_DIR ${QUENBRIX_MAX_SDK})
else()
    get_filename_component(QUENBRIX_SDK_CHECK_DIR
                           "${CMAKE_SOURCE_DIR}/../shared/max-sdk-base" ABSOLUTE)
endif()

set(QUENBRIX_SDK_VARIANT OFF)
if(NOT EXISTS ${QUENBRIX_SDK_CHECK_DIR}/c74support/max-includes/ext.h)
    if(QUENBRIX_MAX_SDK)
        message(FATAL_ERROR "QUENBRIX_MAX_SDK: no max-sdk-base at ${QUENBRIX_MAX_SDK}")
    endif()
    set(skip "SDK checks skipped: the host maker's SDK is not at ${QUENBRIX_SDK_CHECK_DIR}")
    set(QUENBRIX_SDK_CHECK_DIR "")
    message(STATUS "${skip}")
    if(QUENBRIX_TESTS)
        add_test(NAME sdk.checks COMMAND sh -c "echo \"$0\"; exit 77" "${skip}")
        set_tests_properties(sdk.checks PROPERTIES SKIP_RETURN_CODE 77)
    endif()
elseif(NOT QUENBRIX_MAX_SDK)
    set(QUENBRIX_SDK_VARIANT ON)
    message(STATUS "SDK checks: against ${QUENBRIX_SDK_CHECK_DIR}")
endif()

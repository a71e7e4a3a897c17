# The native build once more under AddressSanitizer with
# UndefinedBehaviorSanitizer (asan), and under ThreadSanitizer (tsan): each
# variant is this same project configured with QUENBRIX_SANITIZE into
# build/sanitize-<variant>, building the core tests, which tests/ runs.
set(QUENBRIX_SANITIZER_VARIANTS)
if(NOT QUENBRIX_SANITIZER_RUNS OR NOT QUENBRIX_TESTS)
    return()
endif()
include(ExternalProject)

foreach(variant IN ITEMS asan tsan)
    if(variant STREQUAL "asan")
        set(flags "address,undefined")
    else()
        set(flags "thread")
    endif()
    ExternalProject_Add(native_${variant}
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/sanitize-${variant}
        CMAKE_ARGS -DQUENBRIX_SANITIZE=${flags} -DQUENBRIX_CROSS=OFF
                   -DCMAKE_BUILD_TYPE=RelWithDebInfo
                   -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=undefined
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        EXCLUDE_FROM_ALL OFF)
    list(APPEND QUENBRIX_SANITIZER_VARIANTS ${variant})
endforeach()

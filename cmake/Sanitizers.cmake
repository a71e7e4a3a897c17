# The native tests built and run again under AddressSanitizer with
# UndefinedBehaviorSanitizer, and under ThreadSanitizer: each variant is this
# same project configured with QUENBRIX_SANITIZE into its own folder. The
# AddressSanitizer build runs once per model of what the host does with
# calls queued for a freed object (MAXHOST_FREED_CALLS: run, drop, strict);
# ThreadSanitizer runs under the default, run.
include(ExternalProject)

option(QUENBRIX_SANITIZER_RUNS "Run the native tests under the sanitizers" ON)
if(NOT QUENBRIX_SANITIZER_RUNS OR NOT QUENBRIX_TESTS)
    return()
endif()

foreach(variant IN ITEMS asan tsan)
    if(variant STREQUAL "asan")
        set(flags "address,undefined")
        set(env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
                "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
    else()
        set(flags "thread")
        set(env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
    endif()
    set(dir ${CMAKE_BINARY_DIR}/sanitize-${variant})
    ExternalProject_Add(native_${variant}
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${dir}
        CMAKE_ARGS -DQUENBRIX_SANITIZE=${flags} -DQUENBRIX_CROSS=OFF
                   -DCMAKE_BUILD_TYPE=RelWithDebInfo
                   -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=undefined
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        EXCLUDE_FROM_ALL OFF)
    if(variant STREQUAL "asan")
        set(models run drop strict)
    else()
        set(models run)
    endif()
    foreach(model IN LISTS models)
        add_test(NAME sanitize.${variant}.${model}
                 COMMAND ${CMAKE_COMMAND} -E env ${env} MAXHOST_FREED_CALLS=${model}
                         ${CMAKE_CTEST_COMMAND} --test-dir ${dir} --output-on-failure)
        set_tests_properties(sanitize.${variant}.${model} PROPERTIES TIMEOUT 900)
    endforeach()
endforeach()

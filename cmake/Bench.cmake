# Benchmarks: a separate command, not part of the tests.
#   cmake --build build --target bench
# prints Google Benchmark's results and then a short table.
find_package(benchmark QUIET)
if(NOT benchmark_FOUND)
    message(STATUS "Benchmarks: Google Benchmark not found (libbenchmark-dev)")
    return()
endif()

# Measured code is built optimised whatever the build type, as the shipped
# externals are: the plug-in's shared code with the test platform, and the
# stand-in host, compiled once more for the benchmark alone.
add_executable(quenbrix_bench bench/bench_quenbrix.cpp simhost/simhost.cpp
               ${QUENBRIX_SHARED_SOURCES} ${QUENBRIX_NATIVE_PLATFORM_SOURCES})
target_include_directories(quenbrix_bench PRIVATE source host simhost tests/support)
target_compile_options(quenbrix_bench PRIVATE -O2 -DNDEBUG)
target_link_libraries(quenbrix_bench PRIVATE benchmark::benchmark Threads::Threads macsim)
target_compile_definitions(quenbrix_bench PRIVATE QUENBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")

# The Wine getname benchmark (1,000 top-level windows, getname against a
# bare EnumWindows loop) belongs in this target as a COMMAND before the
# native one, writing its ratio as one line to bench/wine-getname.txt in the
# build folder; the native table prints that line in its Wine row.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_custom_target(bench
    COMMAND ${CMAKE_COMMAND} -E rm -f ${CMAKE_BINARY_DIR}/bench/wine-getname.txt
    COMMAND quenbrix_bench --benchmark_min_time=0.3
    DEPENDS quenbrix_bench
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    USES_TERMINAL
    VERBATIM)

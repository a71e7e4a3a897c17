# Benchmarks: a separate command, not part of the tests.
#   cmake --build build --target bench
# prints Google Benchmark's results and then a short table.
find_package(benchmark QUIET)
if(NOT benchmark_FOUND)
    quenbrix_tool_missing(bench "Google Benchmark not found (apt-get install libbenchmark-dev)")
    return()
endif()

# Measured code is built optimised whatever the build type, as the shipped
# externals are: the plug-in's shared code with the test platform, and the
# stand-in host, compiled once more for the benchmark alone.
add_executable(quenbrix_bench bench/bench_quenbrix.cpp ${QUENBRIX_MAXHOST_SOURCES}
               ${QUENBRIX_SHARED_SOURCES} ${QUENBRIX_NATIVE_PLATFORM_SOURCES})
target_include_directories(quenbrix_bench PRIVATE ${QUENBRIX_SOURCE_INCLUDES} host ${QUENBRIX_MAXHOST_DIR} tests/support)
target_compile_options(quenbrix_bench PRIVATE -O2 -DNDEBUG)
target_link_libraries(quenbrix_bench PRIVATE benchmark::benchmark Threads::Threads appkit)
target_compile_definitions(quenbrix_bench PRIVATE QUENBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")

# The Wine benchmarks (bench/wine_bench.cpp: getname among 1,000 top-level
# windows against a bare EnumWindows loop; finishing a hand-off with 200 and
# with 1 in flight) run first, when the Windows build and Wine are here, and
# write their lines to bench/wine.txt in the build folder; the native table
# prints them.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
set(QUENBRIX_WINE_BENCH "")
set(QUENBRIX_WINE_BENCH_DEPENDS "")
if(TARGET quenbrix_windows AND QUENBRIX_WINE AND QUENBRIX_XVFB_RUN)
    set(QUENBRIX_WINE_BENCH
        COMMAND ${CMAKE_COMMAND} -E env QUENBRIX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
                sh ${CMAKE_SOURCE_DIR}/bench/wine-bench.sh ${QUENBRIX_WINDOWS_DIR}
                ${CMAKE_BINARY_DIR}/bench/wine.txt)
    set(QUENBRIX_WINE_BENCH_DEPENDS quenbrix_windows)
endif()
add_custom_target(bench
    COMMAND ${CMAKE_COMMAND} -E rm -f ${CMAKE_BINARY_DIR}/bench/wine.txt
    ${QUENBRIX_WINE_BENCH}
    COMMAND quenbrix_bench --benchmark_min_time=0.3
    DEPENDS quenbrix_bench ${QUENBRIX_WINE_BENCH_DEPENDS}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    USES_TERMINAL
    VERBATIM)

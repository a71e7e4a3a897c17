# Every call of the real plug-in that can fail, made to fail in turn under
# Wine; it checks its table in docs/testing.md and its count in the README,
# which it reads through Wine's drive Z:.
add_test(NAME windows_fault_sweep
         COMMAND ${QUENBRIX_WINE_RUN} LiveSimTests.exe --gtest_filter=FaultSweep.*
         WORKING_DIRECTORY ${QUENBRIX_WINDOWS_DIR})
set_tests_properties(windows_fault_sweep PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT 600
    ENVIRONMENT "${QUENBRIX_WINE_ENV};QUENBRIX_SOURCE_DIR=Z:${CMAKE_SOURCE_DIR}")

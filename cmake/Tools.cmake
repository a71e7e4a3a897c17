# What a missing tool does, the same for every part of the build: outside CI
# the part is left out, with a message at configure time and a skipped test
# named <part>.skipped that says why; in CI (the environment variable CI is
# set) it is an error, so that nothing is left out unnoticed.
#
#   quenbrix_tool_missing(<part> <what is missing and how to get it>...)
function(quenbrix_tool_missing part)
    string(JOIN "" text ${ARGN})
    if(DEFINED ENV{CI})
        message(FATAL_ERROR "${part}: ${text}")
    endif()
    message(STATUS "${part} skipped: ${text}")
    set_property(GLOBAL APPEND PROPERTY QUENBRIX_SKIPPED_PARTS ${part})
    set_property(GLOBAL PROPERTY QUENBRIX_SKIPPED_${part} "${part} skipped: ${text}")
endfunction()

// The test host: a second start with a file is answered as Live would; any
// other start loads the real plug-in, with its Win32 calls able to fail on
// demand (imports.h), and runs the suites.
#include "livewin.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (livewin_second_start())
        return 0;
    testing::InitGoogleTest(&argc, argv);
    std::string error = livewin_load_plugin(true);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}

// Every function in each slice of the built bundle has unwind information,
// as Apple's compiler and linker leave it: an entry of __unwind_info (the
// linker folds neighbours with the same encoding into one entry) with an
// encoding that says how to unwind, and __eh_frame where that encoding
// points to it. Without it, an Objective-C exception raised inside an
// AppKit call cannot pass through the plug-in's frames to the handlers
// further up, and the process ends: inside Live.
//
// QUENBRIX_BUNDLE and QUENBRIX_OBJDUMP are set by the build.
#include "../sdk/check_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string binary = std::string(QUENBRIX_BUNDLE) + "/Contents/MacOS/quenbrix";

std::string objdump(const std::string &arch, const std::string &what)
{
    return check_run(check_quote(QUENBRIX_OBJDUMP) + " --macho --arch=" + arch + " " + what +
                     " " + check_quote(binary));
}

struct Slice {
    const char *arch;
    uint32_t dwarf_mode; // the encoding's mode that says "see __eh_frame"
};

TEST(MacUnwindInfo, EveryFunctionOfEachSliceHasAnEntry)
{
    const Slice slices[] = {{"x86_64", 0x04000000}, {"arm64", 0x03000000}};
    const uint32_t MODE_MASK = 0x0f000000;
    for (const Slice &slice : slices) {
        SCOPED_TRACE(slice.arch);
        // The functions: LC_FUNCTION_STARTS, one address a line.
        std::vector<uint64_t> functions;
        std::istringstream starts(objdump(slice.arch, "--function-starts"));
        for (std::string line; std::getline(starts, line);)
            if (std::regex_match(line, std::regex("[0-9a-fA-F]{8,16}")))
                functions.push_back(std::stoull(line, nullptr, 16));
        ASSERT_GT(functions.size(), 10u) << "no function starts read";

        const std::string info = objdump(slice.arch, "--unwind-info");
        std::map<uint64_t, uint32_t> entries; // function offset -> encoding
        std::regex entry("function offset=(0x[0-9a-fA-F]+), encoding(?:\\[\\d+\\])?=(0x[0-9a-fA-F]+)");
        for (std::sregex_iterator m(info.begin(), info.end(), entry), end; m != end; ++m)
            entries[std::stoull((*m)[1], nullptr, 16)] = (uint32_t)std::stoul((*m)[2], nullptr, 16);
        // The last top-level index marks the end of the covered code.
        uint64_t covered_end = 0;
        std::regex top("function offset=(0x[0-9a-fA-F]+), 2nd level page offset");
        for (std::sregex_iterator m(info.begin(), info.end(), top), end; m != end; ++m)
            covered_end = std::stoull((*m)[1], nullptr, 16);
        ASSERT_FALSE(entries.empty()) << "no __unwind_info in the " << slice.arch << " slice";

        bool has_eh_frame =
            objdump(slice.arch, "--section-headers").find("__eh_frame") != std::string::npos;
        for (uint64_t f : functions) {
            auto e = entries.upper_bound(f);
            ASSERT_NE(e, entries.begin()) << std::hex << "function 0x" << f << " has no entry";
            --e;
            EXPECT_LT(f, covered_end) << std::hex << "function 0x" << f << " lies past the table";
            EXPECT_NE(e->second, 0u) << std::hex << "function 0x" << f << " has no encoding";
            if ((e->second & MODE_MASK) == slice.dwarf_mode)
                EXPECT_TRUE(has_eh_frame) << std::hex << "function 0x" << f
                                          << " points to an __eh_frame the slice lacks";
        }
    }
}

} // namespace

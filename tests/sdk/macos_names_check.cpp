// The macOS bundle built against the host maker's SDK (its headers, its
// script/max-linker-flags.txt and its MaxAudioAPI framework) next to our own
// build: in each slice both name the same libraries with the same versions,
// MaxAudioAPI exactly as the SDK's framework names itself, and both bind the
// same host names by flat lookup, each one listed in max-linker-flags.txt.
//
// QUENBRIX_OWN, QUENBRIX_SDK_BUILD (the two executables), QUENBRIX_SDK_DIR and
// QUENBRIX_OBJDUMP are set by the build.
#include "check_support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace {

const std::string maxaudio = std::string(QUENBRIX_SDK_DIR) +
                             "/c74support/msp-includes/MaxAudioAPI.framework/Versions/A/MaxAudioAPI";

// llvm-objdump's output for every slice of a file, one text per architecture.
std::map<std::string, std::string> per_slice(const std::string &file, const std::string &options)
{
    std::map<std::string, std::string> slices;
    std::istringstream in(check_run(std::string(QUENBRIX_OBJDUMP) + " --macho --arch=all " +
                                    options + " " + check_quote(file)));
    std::regex head(R"(\(architecture (\w+)\):)");
    std::string arch;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, head))
            slices[arch = m[1]];
        else if (!arch.empty())
            slices[arch] += line + "\n";
    }
    return slices;
}

// Each dylib load command of a slice (of the given kind) as
// "name current-version compatibility-version".
std::vector<std::string> dylibs(const std::string &headers, const std::string &kind)
{
    std::vector<std::string> out;
    std::regex command("cmd " + kind + R"(\n[^\n]*\n *name (\S+) \(offset \d+\)\n[^\n]*\n)"
                       R"( *current version (\S+)\ncompatibility version (\S+)\n)");
    for (std::sregex_iterator it(headers.begin(), headers.end(), command), end; it != end; ++it)
        out.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str());
    return out;
}

// The names a slice binds by flat lookup (the host's), from both bind tables.
std::map<std::string, std::set<std::string>> flat_names(const std::string &file)
{
    std::map<std::string, std::set<std::string>> out;
    std::regex row(R"(^\S+ +\S+ +0x[0-9A-Fa-f]+ +.*flat-namespace +(\S+)$)");
    for (const char *table : {"--bind", "--lazy-bind"}) {
        for (auto &[arch, text] : per_slice(file, table)) {
            std::istringstream in(text);
            for (std::string line; std::getline(in, line);) {
                std::smatch m;
                if (std::regex_match(line, m, row))
                    out[arch].insert(m[1]);
            }
        }
    }
    return out;
}

} // namespace

TEST(SdkMacBundle, NamesTheSameLibrariesAsOurOwnBuildAndMaxAudioApiAsTheSdkFrameworkDoes)
{
    auto own = per_slice(QUENBRIX_OWN, "--private-headers");
    auto sdk = per_slice(QUENBRIX_SDK_BUILD, "--private-headers");
    auto framework = per_slice(maxaudio, "--private-headers");
    ASSERT_EQ(own.size(), 2u);
    ASSERT_EQ(sdk.size(), 2u);
    for (const char *arch : {"x86_64", "arm64"}) {
        std::vector<std::string> libraries = dylibs(own[arch], "LC_LOAD_DYLIB");
        ASSERT_EQ(libraries.size(), 6u) << arch;
        EXPECT_EQ(libraries, dylibs(sdk[arch], "LC_LOAD_DYLIB")) << arch;

        std::vector<std::string> id = dylibs(framework[arch], "LC_ID_DYLIB");
        ASSERT_EQ(id.size(), 1u) << arch << ": " << maxaudio;
        int named = 0;
        for (const std::string &library : libraries) {
            if (library.find("/MaxAudioAPI ") != std::string::npos) {
                EXPECT_EQ(library, id[0]) << arch;
                ++named;
            }
        }
        EXPECT_EQ(named, 1) << arch;
    }
}

TEST(SdkMacBundle, BindsTheSameHostNamesAsOurOwnBuildEachListedInTheSdksLinkerFlags)
{
    std::set<std::string> listed;
    std::string flags = check_read(std::string(QUENBRIX_SDK_DIR) + "/script/max-linker-flags.txt");
    std::regex entry(R"(-Wl,-U,(_\w+))");
    for (std::sregex_iterator it(flags.begin(), flags.end(), entry), end; it != end; ++it)
        listed.insert((*it)[1]);
    ASSERT_GT(listed.size(), 1000u);

    auto own = flat_names(QUENBRIX_OWN);
    auto sdk = flat_names(QUENBRIX_SDK_BUILD);
    ASSERT_EQ(own.size(), 2u);
    for (const char *arch : {"x86_64", "arm64"}) {
        ASSERT_FALSE(own[arch].empty()) << arch;
        EXPECT_EQ(own[arch], sdk[arch]) << arch;
        for (const std::string &name : own[arch])
            EXPECT_TRUE(listed.count(name)) << arch << ": " << name;
    }
}

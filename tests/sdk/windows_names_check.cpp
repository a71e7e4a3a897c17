// The Windows plug-in built against the host maker's SDK (its headers and
// its import library MaxAPI.lib) next to our own build: both import exactly
// the same names from exactly the same DLLs, and every host name is one that
// MaxAPI.lib exports.
//
// QUENBRIX_OWN, QUENBRIX_SDK_BUILD, QUENBRIX_MAXAPI_LIB, QUENBRIX_OBJDUMP and
// QUENBRIX_NM are set by the build.
#include "check_support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

// `objdump -p`'s import table: each DLL (upper case) with its names.
std::map<std::string, std::set<std::string>> imports(const std::string &file)
{
    std::map<std::string, std::set<std::string>> out;
    std::istringstream in(check_run(std::string(QUENBRIX_OBJDUMP) + " -p " + check_quote(file)));
    std::regex dll_line(R"(^\s*DLL Name: (\S+)\s*$)");
    std::regex name_line(R"(^\s*[0-9a-f]+\s+[0-9]+\s+(\S+)\s*$)");
    std::string dll;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, dll_line)) {
            dll = m[1];
            for (char &c : dll)
                c = (char)toupper((unsigned char)c);
            out[dll];
        } else if (line.empty() || !isspace((unsigned char)line[0])) {
            dll.clear();
        } else if (!dll.empty() && std::regex_match(line, m, name_line)) {
            out[dll].insert(m[1]);
        }
    }
    return out;
}

} // namespace

TEST(SdkWindowsPlugin, ImportsTheSameNamesFromTheSameDllsAsOurOwnBuild)
{
    auto own = imports(QUENBRIX_OWN);
    auto sdk = imports(QUENBRIX_SDK_BUILD);
    ASSERT_FALSE(own["MAXAPI.DLL"].empty()) << QUENBRIX_OWN;
    EXPECT_EQ(own, sdk);
}

TEST(SdkWindowsPlugin, TakesOnlyNamesThatTheSdksImportLibraryExports)
{
    std::set<std::string> exported;
    std::string symbols =
        check_run(std::string(QUENBRIX_NM) + " " + check_quote(QUENBRIX_MAXAPI_LIB));
    std::regex entry(R"(\bI __imp_(\w+))");
    for (std::sregex_iterator it(symbols.begin(), symbols.end(), entry), end; it != end; ++it)
        exported.insert((*it)[1]);
    ASSERT_GT(exported.size(), 1000u) << QUENBRIX_MAXAPI_LIB;

    for (const char *file : {QUENBRIX_OWN, QUENBRIX_SDK_BUILD}) {
        auto host = imports(file)["MAXAPI.DLL"];
        ASSERT_FALSE(host.empty()) << file;
        for (const std::string &name : host)
            EXPECT_TRUE(exported.count(name)) << file << ": " << name;
    }
}

// Reads the cross-built quenbrix.mxo back, with llvm-objdump and by hand,
// and checks what the host and macOS will see when they load it: both
// slices with their minimum systems, a bundle exporting only ext_main, the
// libraries it names, the host calls bound by name at load, an ad-hoc code
// signature in each slice, and the bundle's Info.plist and PkgInfo.
//
// QUENBRIX_BUNDLE and QUENBRIX_OBJDUMP are set by the build.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string bundle = QUENBRIX_BUNDLE;
const std::string binary = bundle + "/Contents/MacOS/quenbrix";

// The host object API functions the plug-in calls, each bound by flat
// lookup. A new host call must be added here and to the link's list.
const std::set<std::string> host_api = {
    "_atom_getsym",      "_atom_gettype",     "_class_addmethod", "_class_extra_lookup",
    "_class_new",        "_class_register",   "_clock_delay",     "_clock_new",
    "_defer_low",        "_freeobject",       "_gensym",          "_hashtab_lookup",
    "_object_addattr_parse", "_object_alloc", "_object_error",    "_object_post",
    "_object_warn",      "_outlet_anything",  "_outlet_new",      "_path_absolutepath",
    "_path_nameconform"};

// Everything else is bound to the library that defines it.
const std::set<std::pair<std::string, std::string>> system_imports = {
    {"libSystem", "___stack_chk_fail"}, {"libSystem", "___stack_chk_guard"},
    {"libSystem", "dyld_stub_binder"},  {"libSystem", "_getpid"},
    {"libSystem", "_proc_name"},        {"libSystem", "_proc_pidpath"},
    {"libSystem", "_snprintf"},         {"libSystem", "_strstr"},
    {"libobjc", "_objc_getClass"},      {"libobjc", "_objc_msgSend"},
    {"libobjc", "_sel_registerName"}};

const std::vector<std::string> libraries = {
    "/System/Library/Frameworks/AppKit.framework/Versions/C/AppKit",
    "/System/Library/Frameworks/Foundation.framework/Versions/C/Foundation",
    "@executable_path/../Frameworks/MaxAudioAPI.framework/Versions/A/MaxAudioAPI",
    "@executable_path/../Frameworks/JitterAPI.framework/Versions/A/JitterAPI",
    "/usr/lib/libobjc.A.dylib",
    "/usr/lib/libSystem.B.dylib"};

std::string objdump(const std::string &options)
{
    std::string command = std::string(QUENBRIX_OBJDUMP) + " --macho --arch=all " +
                          options + " '" + binary + "' 2>&1";
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// objdump's output for all architectures, cut into one text per slice.
std::map<std::string, std::string> per_slice(const std::string &options)
{
    std::map<std::string, std::string> slices;
    std::regex head(R"(\(architecture (\w+)\):)");
    std::string text = objdump(options);
    std::string arch;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, head)) {
            arch = m[1];
            slices[arch];
        } else if (!arch.empty()) {
            slices[arch] += line + "\n";
        }
    }
    return slices;
}

// The load commands of one slice, each as its lines.
std::vector<std::string> load_commands(const std::string &headers)
{
    std::vector<std::string> commands;
    std::istringstream in(headers);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Load command ", 0) == 0)
            commands.emplace_back();
        else if (!commands.empty())
            commands.back() += line + "\n";
    }
    return commands;
}

std::string field(const std::string &command, const std::string &name)
{
    std::smatch m;
    std::regex re("(^|\\n) *" + name + " ([^\\n]*)");
    return std::regex_search(command, m, re) ? std::string(m[2]) : std::string();
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

uint32_t be32(const std::string &data, size_t at)
{
    if (at + 4 > data.size())
        return 0;
    auto b = [&](size_t i) { return (uint32_t)(unsigned char)data[at + i]; };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// Each slice's offset in the universal file, by CPU type.
std::map<std::string, uint32_t> fat_offsets(const std::string &file)
{
    std::map<std::string, uint32_t> out;
    if (be32(file, 0) != 0xcafebabe)
        return out;
    for (uint32_t i = 0; i < be32(file, 4); ++i) {
        size_t entry = 8 + 20 * i;
        uint32_t cpu = be32(file, entry);
        std::string name = cpu == 0x01000007 ? "x86_64" : cpu == 0x0100000c ? "arm64" : "?";
        out[name] = be32(file, entry + 8);
    }
    return out;
}

} // namespace

TEST(MacBundle, HoldsAnX86_64SliceFor10_11AndAnArm64SliceFor11_0)
{
    auto slices = per_slice("--private-headers");
    ASSERT_EQ(slices.size(), 2u) << "slices in " << binary;
    ASSERT_TRUE(slices.count("x86_64"));
    ASSERT_TRUE(slices.count("arm64"));

    std::string x86_min, arm_min, arm_platform;
    int x86_build_versions = 0;
    for (auto &c : load_commands(slices["x86_64"])) {
        if (field(c, "cmd") == "LC_VERSION_MIN_MACOSX")
            x86_min = field(c, "version");
        x86_build_versions += field(c, "cmd") == "LC_BUILD_VERSION";
    }
    for (auto &c : load_commands(slices["arm64"])) {
        if (field(c, "cmd") == "LC_BUILD_VERSION") {
            arm_min = field(c, "minos");
            arm_platform = field(c, "platform");
        }
    }
    EXPECT_EQ(x86_min, "10.11");
    EXPECT_EQ(x86_build_versions, 0);
    EXPECT_EQ(arm_min, "11.0");
    EXPECT_EQ(arm_platform, "macos");
}

TEST(MacBundle, EachSliceIsALoadableBundleNamingExactlyItsLibraries)
{
    for (auto &[arch, headers] : per_slice("--private-headers")) {
        std::regex bundle_header(R"(MH_MAGIC_64 +\w+ +\w+ +0x00 +BUNDLE )");
        EXPECT_TRUE(std::regex_search(headers, bundle_header)) << arch;
        std::vector<std::string> named;
        for (auto &c : load_commands(headers)) {
            std::string cmd = field(c, "cmd");
            EXPECT_NE(cmd, "LC_LOAD_WEAK_DYLIB") << arch;
            EXPECT_NE(cmd, "LC_REEXPORT_DYLIB") << arch;
            EXPECT_NE(cmd, "LC_RPATH") << arch;
            if (cmd == "LC_LOAD_DYLIB") {
                std::string name = field(c, "name");
                named.push_back(name.substr(0, name.find(" (offset")));
            }
        }
        EXPECT_EQ(named, libraries) << arch;
    }
}

TEST(MacBundle, ExportsOnlyExtMain)
{
    auto slices = per_slice("--exports-trie");
    ASSERT_EQ(slices.size(), 2u);
    for (auto &[arch, text] : slices) {
        std::vector<std::string> exported;
        std::regex entry(R"(0x[0-9A-Fa-f]+ +(\S+))");
        for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it)
            exported.push_back((*it)[1]);
        EXPECT_EQ(exported, std::vector<std::string>{"_ext_main"}) << arch;
    }
}

TEST(MacBundle, TakesTheHostCallsByNameAtLoadAndTheRestFromItsLibraries)
{
    auto binds = per_slice("--bind");
    auto lazy = per_slice("--lazy-bind");
    ASSERT_EQ(binds.size(), 2u);
    ASSERT_EQ(lazy.size(), 2u);
    for (const char *arch : {"x86_64", "arm64"}) {
        std::set<std::string> flat;
        std::set<std::pair<std::string, std::string>> others;
        std::regex row(R"(^\S+ +\S+ +0x[0-9A-Fa-f]+ +.*?(flat-namespace|\S+) +(\S+)$)");
        for (const std::string &text : {binds[arch], lazy[arch]}) {
            std::istringstream in(text);
            for (std::string line; std::getline(in, line);) {
                std::smatch m;
                if (!std::regex_match(line, m, row))
                    continue;
                if (m[1] == "flat-namespace")
                    flat.insert(m[2]);
                else
                    others.insert({m[1], m[2]});
            }
        }
        EXPECT_EQ(flat, host_api) << arch;
        EXPECT_EQ(others, system_imports) << arch;
    }
}

TEST(MacBundle, EachSliceCarriesAnAdHocSignatureForTheExecutable)
{
    std::string file = read_file(binary);
    auto offsets = fat_offsets(file);
    ASSERT_EQ(offsets.size(), 2u);
    for (auto &[arch, headers] : per_slice("--private-headers")) {
        std::string dataoff;
        for (auto &c : load_commands(headers))
            if (field(c, "cmd") == "LC_CODE_SIGNATURE")
                dataoff = field(c, "dataoff");
        ASSERT_FALSE(dataoff.empty()) << arch << ": no LC_CODE_SIGNATURE";
        size_t sig = offsets[arch] + std::stoul(dataoff);

        // An embedded signature whose code directory covers the slice up to
        // the signature, names the executable and is ad hoc.
        ASSERT_EQ(be32(file, sig), 0xfade0cc0u) << arch;
        size_t cd = 0;
        for (uint32_t i = 0; i < be32(file, sig + 8); ++i)
            if (be32(file, sig + 12 + 8 * i) == 0) // the code directory slot
                cd = sig + be32(file, sig + 16 + 8 * i);
        ASSERT_NE(cd, 0u) << arch;
        EXPECT_EQ(be32(file, cd), 0xfade0c02u) << arch;
        EXPECT_TRUE(be32(file, cd + 12) & 0x2) << arch << ": not ad hoc";
        EXPECT_EQ(file.c_str() + cd + be32(file, cd + 20), std::string("quenbrix")) << arch;
        EXPECT_EQ(be32(file, cd + 32), std::stoul(dataoff)) << arch << ": code limit";
    }
}

TEST(MacBundle, InfoPlistDescribesAHostPlugInWithThisExecutable)
{
    std::string plist = read_file(bundle + "/Contents/Info.plist");
    ASSERT_FALSE(plist.empty());
    std::map<std::string, std::string> keys;
    std::regex pair(R"(<key>([^<]+)</key>\s*<string>([^<]*)</string>)");
    for (std::sregex_iterator it(plist.begin(), plist.end(), pair), end; it != end; ++it)
        keys[(*it)[1]] = (*it)[2];
    EXPECT_EQ(keys["CFBundlePackageType"], "iLaX");
    EXPECT_EQ(keys["CFBundleSignature"], "max2");
    EXPECT_EQ(keys["CFBundleExecutable"], "quenbrix");
    EXPECT_EQ(keys["CFBundleInfoDictionaryVersion"], "6.0");
    EXPECT_FALSE(keys["CFBundleIdentifier"].empty());
    EXPECT_TRUE(std::regex_match(keys["CFBundleShortVersionString"], std::regex(R"(\d+\.\d+\.\d+)")));
    EXPECT_TRUE(std::regex_match(keys["CFBundleVersion"], std::regex(R"(\d+(\.\d+)*)")));
}

TEST(MacBundle, PkgInfoHoldsExactlyTheEightTypeAndCreatorBytes)
{
    EXPECT_EQ(read_file(bundle + "/Contents/PkgInfo"), "iLaX????");
}

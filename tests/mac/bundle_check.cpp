// Reads the cross-built quenbrix.mxo back, with llvm-objdump and by hand,
// and checks what the host and macOS will see when they load it: both
// slices with their minimum systems, a bundle exporting only ext_main, the
// libraries it names, the host calls bound by name at load, an ad-hoc code
// signature in each slice whose page hashes match the code, as the kernel
// checks them on Apple silicon when it pages the code in, and the bundle's
// Info.plist and PkgInfo.
//
// QUENBRIX_BUNDLE and QUENBRIX_OBJDUMP are set by the build; QUENBRIX_BUNDLE
// in the environment reads another bundle.
#include "../sdk/check_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The bundle to read: the build's own, or another one given in the
// environment (the bundle built against the host maker's SDK).
std::string bundle_path()
{
    const char *other = getenv("QUENBRIX_BUNDLE");
    return other && *other ? other : QUENBRIX_BUNDLE;
}

const std::string bundle = bundle_path();
const std::string binary = bundle + "/Contents/MacOS/quenbrix";

// The host object API functions the plug-in calls, each bound by flat
// lookup. A new host call must be added here and to the link's list.
const std::set<std::string> host_api = {
    "_atom_getsym",      "_atom_gettype",     "_class_addmethod", "_class_extra_lookup",
    "_class_new",        "_class_register",   "_clock_delay",     "_clock_new",
    "_defer_low",        "_freeobject",       "_gensym",          "_hashtab_lookup",
    "_object_addattr_parse", "_object_alloc", "_object_error",    "_object_post",
    "_object_warn",      "_outlet_anything",  "_outlet_new",      "_path_absolutepath",
    "_path_nameconform", "_sysmem_freeptr",  "_sysmem_newptrclear"};

// Everything else is bound to the library that defines it.
const std::set<std::pair<std::string, std::string>> system_imports = {
    {"libSystem", "___stack_chk_fail"}, {"libSystem", "___stack_chk_guard"},
    {"libSystem", "dyld_stub_binder"},  {"libSystem", "_getpid"},
    {"libSystem", "_proc_name"},        {"libSystem", "_proc_pidpath"},
    {"libSystem", "_memchr"},           {"libSystem", "_memcpy"},
    {"libSystem", "_memmove"},          {"libSystem", "_snprintf"},
    {"libSystem", "_strstr"},
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
    return check_run(std::string(QUENBRIX_OBJDUMP) + " --macho --arch=all " + options +
                     " " + check_quote(binary));
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

// SHA-256 (FIPS 180-4), to recompute the code-page hashes of a signature.
std::string sha256(const std::string &data, size_t begin, size_t end)
{
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string m = data.substr(begin, end - begin);
    uint64_t bits = (uint64_t)m.size() * 8;
    m += '\x80';
    while (m.size() % 64 != 56)
        m += '\0';
    for (int i = 7; i >= 0; --i)
        m += (char)(bits >> (8 * i));
    auto rotr = [](uint32_t x, int n) { return x >> n | x << (32 - n); };
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = be32(m, block + 4 * i);
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ w[i - 15] >> 3;
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ w[i - 2] >> 10;
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                          k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        uint32_t add[8] = {a, b, c, d, e, f, g, hh};
        for (int i = 0; i < 8; ++i)
            h[i] += add[i];
    }
    std::string digest;
    for (uint32_t word : h)
        for (int i = 3; i >= 0; --i)
            digest += (char)(word >> (8 * i));
    return digest;
}

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += {digits[c >> 4], digits[c & 15]};
    return out;
}

// Where each slice's signature lies and where its CodeDirectory starts, both
// as offsets in the universal file; zero when there is none.
struct Signature {
    size_t slice = 0, signature = 0, directory = 0;
};

std::map<std::string, Signature> signatures(const std::string &file,
                                            std::map<std::string, std::string> headers)
{
    std::map<std::string, Signature> out;
    auto offsets = fat_offsets(file);
    for (auto &[arch, text] : headers) {
        Signature s;
        s.slice = offsets[arch];
        for (auto &c : load_commands(text))
            if (field(c, "cmd") == "LC_CODE_SIGNATURE")
                s.signature = s.slice + std::stoul(field(c, "dataoff"));
        if (s.signature && be32(file, s.signature) == 0xfade0cc0)
            for (uint32_t i = 0; i < be32(file, s.signature + 8); ++i)
                if (be32(file, s.signature + 12 + 8 * i) == 0) // the code directory slot
                    s.directory = s.signature + be32(file, s.signature + 16 + 8 * i);
        out[arch] = s;
    }
    return out;
}

// The code pages of a slice whose hash differs from its CodeDirectory's, as
// the kernel finds them when it pages the code in; "" when all agree.
std::string bad_pages(const std::string &file, const Signature &s)
{
    size_t cd = s.directory;
    uint32_t hash_offset = be32(file, cd + 16), slots = be32(file, cd + 28);
    uint32_t limit = be32(file, cd + 32);
    unsigned hash_size = (unsigned char)file[cd + 36], hash_type = (unsigned char)file[cd + 37];
    unsigned page_shift = (unsigned char)file[cd + 39];
    if (hash_type != 2 || hash_size != 32 || page_shift == 0)
        return "not SHA-256 page hashes";
    size_t page = (size_t)1 << page_shift;
    if (slots != (limit + page - 1) / page)
        return std::to_string(slots) + " slots for " + std::to_string(limit) + " bytes";
    std::string bad;
    for (uint32_t i = 0; i < slots; ++i) {
        size_t begin = s.slice + i * page, end = s.slice + std::min<size_t>((i + 1) * page, limit);
        std::string recorded = file.substr(cd + hash_offset + (size_t)i * hash_size, hash_size);
        if (sha256(file, begin, end) != recorded)
            bad += " page " + std::to_string(i);
    }
    return bad;
}

} // namespace

TEST(MacBundle, PageHasherAgreesWithKnownSha256Digests)
{
    std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(hex(sha256("abc", 0, 3)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(sha256(two_blocks, 0, two_blocks.size())),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(sha256("", 0, 0)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

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

TEST(MacBundle, EachSliceCarriesAnAdHocLinkerSignatureForTheExecutable)
{
    std::string file = read_file(binary);
    auto headers = per_slice("--private-headers");
    ASSERT_EQ(fat_offsets(file).size(), 2u);
    for (auto &[arch, s] : signatures(file, headers)) {
        // An embedded signature whose code directory covers the slice up to
        // the signature, names the executable, and is ad hoc and made by the
        // linker.
        ASSERT_NE(s.signature, 0u) << arch << ": no LC_CODE_SIGNATURE";
        ASSERT_EQ(be32(file, s.signature), 0xfade0cc0u) << arch;
        ASSERT_NE(s.directory, 0u) << arch;
        size_t cd = s.directory;
        EXPECT_EQ(be32(file, cd), 0xfade0c02u) << arch;
        EXPECT_TRUE(be32(file, cd + 12) & 0x2) << arch << ": not ad hoc";
        EXPECT_TRUE(be32(file, cd + 12) & 0x20000) << arch << ": not linker-signed";
        EXPECT_EQ(file.c_str() + cd + be32(file, cd + 20), std::string("quenbrix")) << arch;
        EXPECT_EQ(be32(file, cd + 32), s.signature - s.slice) << arch << ": code limit";
    }
}

TEST(MacBundle, EachSlicesCodePagesHashToWhatItsSignatureRecords)
{
    std::string file = read_file(binary);
    auto slices = signatures(file, per_slice("--private-headers"));
    ASSERT_EQ(slices.size(), 2u);
    for (auto &[arch, s] : slices) {
        ASSERT_NE(s.directory, 0u) << arch;
        EXPECT_EQ(bad_pages(file, s), "") << arch;
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

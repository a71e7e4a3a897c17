// The assembled package folder and the release zip, as the build left them.
#include "package_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

using nlohmann::json;

namespace {

const std::string package = QUENBRIX_PACKAGE_DIR;
const std::string zip = QUENBRIX_PACKAGE_ZIP;
const std::string cmake = CMAKE_COMMAND_PATH;
constexpr bool has_windows = QUENBRIX_PACKAGE_HAS_WINDOWS;
constexpr bool has_macos = QUENBRIX_PACKAGE_HAS_MACOS;

uint32_t u32le(const std::string &b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 |
           (uint32_t)(uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24;
}

uint32_t u32be(const std::string &b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] << 24 | (uint32_t)(uint8_t)b[at + 1] << 16 |
           (uint32_t)(uint8_t)b[at + 2] << 8 | (uint32_t)(uint8_t)b[at + 3];
}

// The machine field of a PE file's header, or 0 when it is not one.
unsigned pe_machine(const std::string &b)
{
    if (b.size() < 0x40 || b.compare(0, 2, "MZ") != 0)
        return 0;
    size_t pe = u32le(b, 0x3c);
    if (pe + 6 > b.size() || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    return (uint8_t)b[pe + 4] | (uint8_t)b[pe + 5] << 8;
}

// The CPU types of a universal (fat) Mach-O file.
std::set<uint32_t> fat_cpu_types(const std::string &b)
{
    std::set<uint32_t> out;
    if (b.size() < 8 || u32be(b, 0) != 0xcafebabe)
        return out;
    uint32_t n = u32be(b, 4);
    for (uint32_t i = 0; i < n && 8 + 20 * (i + 1) <= b.size(); ++i)
        out.insert(u32be(b, 8 + 20 * i));
    return out;
}

// A PE file as its code and data: the checksum and the security directory
// zeroed and the Authenticode signature (the certificate table at the end)
// cut off, then padded to 8 bytes as signing pads it. The build's plug-in
// and its signed copy in the package give the same bytes.
std::string without_signature(std::string b)
{
    if (pe_machine(b) == 0)
        return b;
    size_t optional = u32le(b, 0x3c) + 24;
    size_t checksum = optional + 64, security = optional + 112 + 4 * 8; // PE32+
    if (security + 8 > b.size())
        return b;
    uint32_t table = u32le(b, security);
    b.replace(checksum, 4, 4, '\0');
    b.replace(security, 8, 8, '\0');
    if (table != 0 && table <= b.size())
        b.resize(table);
    b.resize((b.size() + 7) / 8 * 8, '\0');
    return b;
}

constexpr uint32_t cpu_x86_64 = 0x01000007, cpu_arm64 = 0x0100000c;

std::set<std::string> zip_entries()
{
    int status = 0;
    std::string listing =
        run_command(quoted(cmake) + " -E tar tf " + quoted(zip), &status);
    std::set<std::string> out;
    if (status != 0)
        return out;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.back() != '/')
            out.insert(line);
    return out;
}

} // namespace

TEST(PackageFolder, HasTheLayoutOfAMaxPackage)
{
    for (const char *entry : {"devices", "extras", "help", "docs", "externals"}) {
        SCOPED_TRACE(entry);
        EXPECT_TRUE(std::filesystem::is_directory(package + "/" + entry));
    }
    for (const char *file : {"icon.png", "package-info.json", "license", "README.md"})
        EXPECT_TRUE(file_exists(package + "/" + file)) << file;
}

TEST(PackageFolder, CarriesTheReferenceLicenseAndReadmeFromTheSource)
{
    for (const char *file : {"docs/refpages/quenbrix.maxref.xml", "license", "README.md"}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(file_exists(package + "/" + file));
        EXPECT_EQ(read_file(package + "/" + file),
                  read_file(std::string(QUENBRIX_PACKAGE_STATIC) + "/" + file));
    }
}

TEST(PackageFolder, CarriesTheGeneratedDeviceHelpLauncherAndIcon)
{
    std::set<std::string> generated = files_below(QUENBRIX_PACKAGE_GENERATED);
    EXPECT_EQ(generated,
              (std::set<std::string>{"devices/" QUENBRIX_DEMO_DEVICE, "help/quenbrix.maxhelp",
                                     "extras/quenbrix-overview.maxpat", "icon.png"}));
    for (auto &file : generated)
        EXPECT_EQ(read_file(package + "/" + file),
                  read_file(std::string(QUENBRIX_PACKAGE_GENERATED) + "/" + file))
            << file;
}

TEST(PackageFolder, IconIsA500By500Png)
{
    std::string png = read_file(package + "/icon.png");
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << "not a PNG";
    EXPECT_EQ(png.compare(12, 4, "IHDR"), 0);
    EXPECT_EQ(u32be(png, 16), 500u);
    EXPECT_EQ(u32be(png, 20), 500u);
}

TEST(PackageFolder, PackageInfoNamesTheVersionMaxAndBothPlatformsAsTheHostsFilesDo)
{
    json info = json::parse(read_file(package + "/package-info.json"), nullptr, false);
    ASSERT_FALSE(info.is_discarded()) << "package-info.json is not JSON";
    EXPECT_EQ(info.value("name", ""), "quenbrix");
    EXPECT_EQ(info.value("version", ""), QUENBRIX_PACKAGE_VERSION);
    EXPECT_FALSE(info.value("author", "").empty());
    EXPECT_FALSE(info.value("description", "").empty());
    EXPECT_EQ(info.value("max_version_max", ""), "none");
    // The project's address where the build was given one; otherwise no
    // website entry at all, rather than an empty one.
    if (std::string(QUENBRIX_WEBSITE).empty())
        EXPECT_FALSE(info.contains("website")) << info.value("website", "");
    else
        EXPECT_EQ(info.value("website", ""), QUENBRIX_WEBSITE);
    ASSERT_TRUE(info.contains("package_extra"));
    EXPECT_EQ(info["package_extra"].value("reverse_domain", ""), QUENBRIX_REVERSE_DOMAIN);
    EXPECT_EQ(info["package_extra"].value("copyright", ""), QUENBRIX_COPYRIGHT);

    // The arm64 code runs only in a Max that runs natively on Apple silicon;
    // the host maker's SDK, which first builds that code, asks for 8.2.0.
    std::string min = info.value("max_version_min", "0");
    int major = 0, minor = 0;
    std::sscanf(min.c_str(), "%d.%d", &major, &minor);
    EXPECT_GE(major * 100 + minor, 802) << min;

    // The launcher lives in extras/, where Max looks for a homepatcher.
    std::string home = info.value("homepatcher", "");
    EXPECT_TRUE(file_exists(package + "/extras/" + home)) << home;

    auto platforms = [&](const char *os) {
        std::set<std::string> out;
        if (info.contains("os") && info["os"].contains(os))
            for (auto &p : info["os"][os].value("platform", json::array()))
                out.insert(p.get<std::string>());
        return out;
    };
    EXPECT_EQ(platforms("windows"), (std::set<std::string>{"x64"}));
    EXPECT_EQ(platforms("macintosh"), (std::set<std::string>{"x64", "aarch64"}));
}

TEST(PackageFolder, ExternalsAreExactlyThoseOfTheCrossBuilds)
{
    std::set<std::string> want;
    if (has_windows)
        want.insert("quenbrix.mxe64");
    if (has_macos)
        want.insert("quenbrix.mxo");
    std::set<std::string> found;
    for (auto &e : std::filesystem::directory_iterator(package + "/externals"))
        found.insert(e.path().filename().string());
    EXPECT_EQ(found, want);
    if (!has_windows || !has_macos)
        std::cout << "note: this build makes "
                  << (has_windows ? "" : "no Windows external ")
                  << (has_macos ? "" : "no macOS external") << "\n";
}

TEST(PackageFolder, WindowsExternalIsTheX64LibraryOfTheCrossBuild)
{
    if (!has_windows)
        GTEST_SKIP() << "the Windows cross build is not part of this build";
    std::string shipped = read_file(package + "/externals/quenbrix.mxe64");
    EXPECT_EQ(pe_machine(shipped), 0x8664u);
    std::string built = read_file(QUENBRIX_WINDOWS_EXTERNAL);
    // Signed in the package when the build was given a certificate
    // (tools/sign): the same plug-in, with a signature added.
    if (without_signature(shipped).size() < shipped.size())
        EXPECT_EQ(without_signature(shipped), without_signature(built));
    else
        EXPECT_EQ(shipped, built);
}

TEST(PackageFolder, MacExternalIsAUniversalBundleOfTheCrossBuild)
{
    if (!has_macos)
        GTEST_SKIP() << "the macOS cross build is not part of this build";
    std::string bundle = package + "/externals/quenbrix.mxo";
    std::string binary = read_file(bundle + "/Contents/MacOS/quenbrix");
    EXPECT_EQ(fat_cpu_types(binary), (std::set<uint32_t>{cpu_x86_64, cpu_arm64}));
    EXPECT_EQ(read_file(bundle + "/Contents/PkgInfo"), "iLaX????");
    EXPECT_TRUE(file_exists(bundle + "/Contents/Info.plist"));
    EXPECT_EQ(files_below(bundle), files_below(QUENBRIX_MACOS_EXTERNAL));
    EXPECT_EQ(binary,
              read_file(std::string(QUENBRIX_MACOS_EXTERNAL) + "/Contents/MacOS/quenbrix"));
}

TEST(ReleaseZip, ListsEveryFileOfThePackageFolderUnderQuenbrix)
{
    ASSERT_TRUE(file_exists(zip)) << zip;
    std::set<std::string> want;
    for (auto &f : files_below(package))
        want.insert("quenbrix/" + f);
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(zip_entries(), want);
}

TEST(ReleaseZip, UnpacksToTheSameBytesAsThePackageFolder)
{
    ASSERT_TRUE(file_exists(zip)) << zip;
    char folder[] = "/tmp/quenbrix-zip-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    int status = 0;
    run_command("cd " + quoted(folder) + " && " + quoted(cmake) + " -E tar xf " +
                    quoted(zip),
                &status);
    EXPECT_EQ(status, 0);
    std::string unpacked = std::string(folder) + "/quenbrix";
    EXPECT_EQ(files_below(unpacked), files_below(package));
    for (auto &f : files_below(package))
        EXPECT_EQ(read_file(unpacked + "/" + f), read_file(package + "/" + f)) << f;
    std::filesystem::remove_all(folder);
}

TEST(ReleaseZip, MatchesItsChecksumFile)
{
    ASSERT_TRUE(file_exists(zip)) << zip;
    ASSERT_TRUE(file_exists(zip + ".sha256"));
    int status = 0;
    std::string computed =
        run_command(quoted(cmake) + " -E sha256sum " + quoted(zip), &status);
    ASSERT_EQ(status, 0);
    std::istringstream recorded(read_file(zip + ".sha256"));
    std::string hash, name;
    recorded >> hash >> name;
    EXPECT_EQ(hash.size(), 64u);
    EXPECT_EQ(hash, computed.substr(0, computed.find(' ')));
    EXPECT_EQ(name, std::filesystem::path(zip).filename().string());
}

TEST(UserGuide, DocsCarryThePackageReadmeWordForWord)
{
    std::string readme = read_file(std::string(QUENBRIX_PACKAGE_STATIC) + "/README.md");
    std::string guide = read_file(QUENBRIX_USER_GUIDE);
    ASSERT_FALSE(readme.empty());
    std::string body = readme.substr(readme.find('\n') + 1); // all but the title
    EXPECT_NE(guide.find(body), std::string::npos)
        << "docs/user-guide.md no longer carries packaging/max-package/README.md";
}

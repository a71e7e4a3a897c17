// The built macOS bundle's Info.plist (the package ships it unchanged) against the
// Info.plist template of the host maker's SDK: every key of the template is
// there unless it does not apply to this plug-in, literal values agree, and
// each placeholder of the template stands for one value throughout.
#include "package_support.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <map>
#include <regex>
#include <cstring>

namespace {

const std::string sdk_template = QUENBRIX_SHARED_DIR "/max-sdk-base/script/Info.plist.in";
const std::string shipped = QUENBRIX_MACOS_EXTERNAL "/Contents/Info.plist";

struct Value {
    std::string type; // string, true, false, ...
    std::string text;
};

// The keys of a plist, nested dictionaries joined with '/'.
void flatten(const tinyxml2::XMLElement *dict, const std::string &prefix,
             std::map<std::string, Value> &out)
{
    for (auto *key = dict->FirstChildElement("key"); key; key = key->NextSiblingElement("key")) {
        auto *value = key->NextSiblingElement();
        if (!value)
            break;
        std::string name = prefix + (key->GetText() ? key->GetText() : "");
        if (std::string(value->Name()) == "dict")
            flatten(value, name + "/", out);
        else
            out[name] = {value->Name(), value->GetText() ? value->GetText() : ""};
    }
}

std::map<std::string, Value> read_plist(const std::string &path)
{
    std::map<std::string, Value> out;
    std::string text = read_file(path);
    tinyxml2::XMLDocument doc;
    if (doc.Parse(text.c_str(), text.size()) != tinyxml2::XML_SUCCESS)
        return out;
    auto *plist = doc.FirstChildElement("plist");
    if (plist && plist->FirstChildElement("dict"))
        flatten(plist->FirstChildElement("dict"), "", out);
    return out;
}

// Keys of the template that do not apply here, and why.
const std::map<std::string, std::string> not_applying = {
    {"CFBundleIconFile", "the bundle carries no icon (an empty name in the template)"},
    {"CSResourcesFileMapped", "the bundle has no resource files to map"},
    {"LSRequiresCarbon", "the plug-in uses no Carbon call"},
};

const std::regex placeholder(R"(\$\{([A-Z_]+)\}|@([A-Z_]+)@)");

// The template's text as a pattern, its placeholders as groups, in order.
std::regex pattern_of(const std::string &text, std::vector<std::string> &names)
{
    std::string pattern;
    size_t at = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), placeholder), end; it != end; ++it) {
        for (char ch : text.substr(at, it->position() - at))
            pattern += std::string(std::strchr(".^$|()[]{}*+?\\", ch) ? "\\" : "") + ch;
        names.push_back((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
        pattern += "(.+)";
        at = it->position() + it->length();
    }
    for (char ch : text.substr(at))
        pattern += std::string(std::strchr(".^$|()[]{}*+?\\", ch) ? "\\" : "") + ch;
    return std::regex(pattern);
}

} // namespace

TEST(MacInfoPlist, CarriesEveryKeyOfTheSdkTemplateThatApplies)
{
    if (!file_exists(sdk_template))
        GTEST_SKIP() << "the host maker's SDK is not beside the repository (" << sdk_template
                     << "); nothing to compare with";
    if (!QUENBRIX_PACKAGE_HAS_MACOS)
        GTEST_SKIP() << "the macOS cross build is not part of this build";

    auto want = read_plist(sdk_template);
    auto have = read_plist(shipped);
    ASSERT_GT(want.size(), 10u) << "the SDK's template did not parse";
    ASSERT_FALSE(have.empty()) << shipped << " did not parse";

    std::map<std::string, std::string> bound; // placeholder -> value
    for (auto &[key, value] : want) {
        SCOPED_TRACE(key);
        if (not_applying.count(key)) {
            EXPECT_EQ(have.count(key), 0u) << "listed as not applying, yet present";
            continue;
        }
        ASSERT_EQ(have.count(key), 1u) << "missing";
        EXPECT_EQ(have[key].type, value.type);
        std::vector<std::string> names;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(have[key].text, m, pattern_of(value.text, names)))
            << "'" << have[key].text << "' is not of the form '" << value.text << "'";
        for (size_t i = 0; i < names.size(); ++i) {
            auto [it, fresh] = bound.emplace(names[i], m[i + 1].str());
            EXPECT_EQ(it->second, m[i + 1].str()) << names[i] << " stands for two values";
        }
    }

    EXPECT_EQ(bound["MACOSX_BUNDLE_EXECUTABLE_NAME"], "quenbrix");
    EXPECT_EQ(bound["PACKAGE_VERSION"], QUENBRIX_PACKAGE_VERSION);
    EXPECT_EQ(bound["COPYRIGHT_STRING"], QUENBRIX_COPYRIGHT);
    EXPECT_EQ(bound["AUTHOR_DOMAIN"], QUENBRIX_REVERSE_DOMAIN);
    EXPECT_EQ(bound["EXCLUDE_FROM_COLLECTIVES"], "no");
}

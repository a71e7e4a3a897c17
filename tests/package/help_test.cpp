// The help patcher that Max opens from a quenbrix object: a well-formed
// patcher whose message boxes reach the object for every documented message
// and whose comments carry the console texts the plug-in really posts.
#include "package_support.h"

#include "liveapp.h"
#include "liveapp_texts.h"
#include "maxhost.hpp"
#include "appkit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <regex>
#include <sstream>

using nlohmann::json;

namespace {

const std::string help_path = QUENBRIX_PACKAGE_GENERATED "/help/quenbrix.maxhelp";

// One patcher of the help: the window itself or one of its tabs.
struct Sheet {
    std::string name; // "" for the window, else the tab's name
    json patcher;
    std::vector<json> boxes;
    std::vector<json> lines;
    std::map<std::string, json> by_id;
};

Sheet sheet_of(const std::string &name, const json &patcher)
{
    Sheet out;
    out.name = name;
    out.patcher = patcher;
    for (auto &b : patcher.value("boxes", json::array()))
        out.boxes.push_back(b.value("box", json()));
    for (auto &l : patcher.value("lines", json::array()))
        out.lines.push_back(l.value("patchline", json()));
    for (auto &b : out.boxes)
        if (b.contains("id") && b["id"].is_string())
            out.by_id[b["id"].get<std::string>()] = b;
    return out;
}

// The window, then its tabs in the order they appear.
const std::vector<Sheet> &sheets()
{
    static std::vector<Sheet> all = [] {
        std::vector<Sheet> out;
        json doc = json::parse(read_file(help_path), nullptr, false);
        if (doc.is_discarded() || !doc.contains("patcher"))
            return out;
        out.push_back(sheet_of("", doc["patcher"]));
        for (auto &b : out[0].boxes)
            if (b.contains("patcher") && b.value("text", "").rfind("p ", 0) == 0)
                out.push_back(sheet_of(b["text"].get<std::string>().substr(2), b["patcher"]));
        return out;
    }();
    return all;
}

const Sheet *tab(const std::string &name)
{
    for (auto &s : sheets())
        if (!s.name.empty() && s.name == name)
            return &s;
    return nullptr;
}

std::string text_of(const json &box)
{
    return box.contains("text") && box["text"].is_string() ? box["text"].get<std::string>()
                                                            : std::string();
}

std::string first_word(const std::string &text)
{
    std::istringstream in(text);
    std::string word;
    in >> word;
    return word;
}

// The id of the one object box that makes a quenbrix object in a sheet, or
// "" when it has none or more than one.
std::string quenbrix_box(const Sheet &sheet)
{
    std::string found;
    for (auto &b : sheet.boxes)
        if (b.value("maxclass", "") == "newobj" && first_word(text_of(b)) == "quenbrix") {
            if (!found.empty())
                return "";
            found = b.value("id", "");
        }
    return found;
}

// Boxes with a line into inlet `inlet` of box `id`.
std::vector<json> boxes_into(const Sheet &sheet, const std::string &id, int inlet)
{
    std::vector<json> out;
    for (auto &l : sheet.lines)
        if (l["destination"][0] == id && l["destination"][1] == inlet)
            out.push_back(sheet.by_id.at(l["source"][0].get<std::string>()));
    return out;
}

// The message boxes wired into a quenbrix object, over all tabs.
std::vector<json> request_boxes()
{
    std::vector<json> out;
    for (auto &s : sheets()) {
        std::string q = quenbrix_box(s);
        if (!q.empty())
            for (auto &b : boxes_into(s, q, 0))
                out.push_back(b);
    }
    return out;
}

std::string comments_of(const Sheet &sheet)
{
    std::string out;
    for (auto &b : sheet.boxes)
        if (b.value("maxclass", "") == "comment")
            out += text_of(b) + "\n";
    return out;
}

std::string all_comments()
{
    std::string out;
    for (auto &s : sheets())
        out += comments_of(s);
    return out;
}

// The comment nearest the top of a sheet: what a reader sees first.
std::string first_comment(const Sheet &sheet)
{
    const json *top = nullptr;
    for (auto &b : sheet.boxes)
        if (b.value("maxclass", "") == "comment" &&
            (!top || b["patching_rect"][1].get<double>() < (*top)["patching_rect"][1].get<double>()))
            top = &b;
    return top ? text_of(*top) : std::string();
}

// What the plug-in posts to the console for one message, run in the
// stand-in host with the test platform.
std::string posted_for(void *x, const char *message, std::vector<t_atom> args = {})
{
    maxhost::reset_records();
    maxhost::send(x, message, args);
    maxhost_run_queue();
    auto lines = maxhost::console();
    return lines.empty() ? std::string() : lines.back().text;
}

} // namespace

TEST(HelpPatcher, IsAWindowOfTabsBasicFirstAndQuestionMarkLast)
{
    ASSERT_FALSE(sheets().empty()) << help_path << " is not a JSON patcher";
    const json &window = sheets()[0].patcher;
    EXPECT_EQ(window.value("classnamespace", ""), "box");
    EXPECT_EQ(window.value("fileversion", 0), 1);
    ASSERT_TRUE(window["rect"].is_array());
    EXPECT_EQ(window["rect"].size(), 4u);
    EXPECT_EQ(window.value("showrootpatcherontab", 1), 0) << "the window itself is no tab";

    ASSERT_GE(sheets().size(), 3u);
    EXPECT_EQ(sheets()[1].name, "basic");
    EXPECT_EQ(sheets().back().name, "?");
    for (size_t i = 1; i < sheets().size(); ++i) {
        SCOPED_TRACE(sheets()[i].name);
        EXPECT_EQ(sheets()[i].patcher.value("showontab", 0), 1);
        EXPECT_FALSE(sheets()[i].boxes.empty());
    }
}

TEST(HelpPatcher, EveryTabFirstSaysItActsOnlyInLiveAndPointsToTheDemoDevice)
{
    ASSERT_GE(sheets().size(), 2u);
    for (size_t i = 1; i < sheets().size(); ++i) {
        SCOPED_TRACE(sheets()[i].name);
        std::string first = first_comment(sheets()[i]);
        EXPECT_NE(first.find("only inside a Max for Live device running in Live"),
                  std::string::npos) << first;
        EXPECT_NE(first.find("devices/" QUENBRIX_DEMO_DEVICE), std::string::npos) << first;
    }
    EXPECT_TRUE(file_exists(QUENBRIX_PACKAGE_DIR "/devices/" QUENBRIX_DEMO_DEVICE));
}

TEST(HelpPatcher, EveryBoxIsWellFormedWithAnIdUniqueInItsTab)
{
    const std::regex id_form("obj-[0-9]+");
    for (auto &s : sheets()) {
        std::set<std::string> ids;
        for (auto &b : s.boxes) {
            SCOPED_TRACE(s.name + " " + b.dump());
            ASSERT_TRUE(b.contains("id") && b["id"].is_string());
            std::string id = b["id"];
            EXPECT_TRUE(std::regex_match(id, id_form));
            EXPECT_TRUE(ids.insert(id).second) << "duplicate id " << id;
            ASSERT_TRUE(b.contains("maxclass") && b["maxclass"].is_string());
            EXPECT_FALSE(b["maxclass"].get<std::string>().empty());
            ASSERT_TRUE(b.contains("numinlets") && b["numinlets"].is_number_integer());
            ASSERT_TRUE(b.contains("numoutlets") && b["numoutlets"].is_number_integer());
            EXPECT_GE(b["numinlets"].get<int>(), 0);
            EXPECT_GE(b["numoutlets"].get<int>(), 0);
            if (b.contains("outlettype")) {
                ASSERT_TRUE(b["outlettype"].is_array());
                EXPECT_EQ(b["outlettype"].size(), b["numoutlets"].get<size_t>());
            }
            ASSERT_TRUE(b.contains("patching_rect") && b["patching_rect"].is_array());
            ASSERT_EQ(b["patching_rect"].size(), 4u);
            for (auto &v : b["patching_rect"])
                EXPECT_TRUE(v.is_number());
            EXPECT_GT(b["patching_rect"][2].get<double>(), 0);
            EXPECT_GT(b["patching_rect"][3].get<double>(), 0);
            if (b["maxclass"] == "newobj" || b["maxclass"] == "comment")
                EXPECT_FALSE(text_of(b).empty()) << "an object box or comment without text";
        }
    }
}

TEST(HelpPatcher, EveryLineJoinsAnOutletToAnInletThatExist)
{
    for (auto &s : sheets())
        for (auto &l : s.lines) {
            SCOPED_TRACE(s.name + " " + l.dump());
            ASSERT_TRUE(l.contains("source") && l["source"].is_array() &&
                        l["source"].size() == 2);
            ASSERT_TRUE(l.contains("destination") && l["destination"].is_array() &&
                        l["destination"].size() == 2);
            ASSERT_TRUE(l["source"][0].is_string() && l["source"][1].is_number_integer());
            ASSERT_TRUE(l["destination"][0].is_string() &&
                        l["destination"][1].is_number_integer());
            auto from = s.by_id.find(l["source"][0]);
            auto to = s.by_id.find(l["destination"][0]);
            ASSERT_NE(from, s.by_id.end()) << "line from a box that does not exist";
            ASSERT_NE(to, s.by_id.end()) << "line to a box that does not exist";
            int outlet = l["source"][1], inlet = l["destination"][1];
            EXPECT_GE(outlet, 0);
            EXPECT_LT(outlet, from->second.value("numoutlets", 0));
            EXPECT_GE(inlet, 0);
            EXPECT_LT(inlet, to->second.value("numinlets", 0));
        }
}

TEST(HelpPatcher, QuenbrixObjectsHaveThePluginsInletAndOutlets)
{
    ASSERT_NE(tab("basic"), nullptr);
    EXPECT_FALSE(quenbrix_box(*tab("basic")).empty()) << "the basic tab shows one object";
    for (auto &s : sheets()) {
        std::string q = quenbrix_box(s);
        if (q.empty())
            continue;
        const json &box = s.by_id.at(q);
        EXPECT_EQ(box.value("numinlets", -1), 1) << s.name;
        EXPECT_EQ(box.value("numoutlets", -1), quenbrix_outlet_count()) << s.name;
    }
}

TEST(HelpPatcher, EveryDocumentedMessageHasAMessageBoxWiredToAnObject)
{
    std::set<std::string> wired;
    for (auto &b : request_boxes()) {
        SCOPED_TRACE(b.dump());
        EXPECT_EQ(b.value("maxclass", ""), "message");
        wired.insert(first_word(text_of(b)));
    }
    std::set<std::string> documented = documented_messages();
    ASSERT_FALSE(documented.empty());
    // Exactly the documented messages: none missing, none that the object
    // does not understand or that is kept out of the documentation.
    EXPECT_EQ(wired, documented);
}

TEST(HelpPatcher, AddfileBoxesNameAnExampleFile)
{
    int seen = 0;
    for (auto &b : request_boxes())
        if (first_word(text_of(b)) == "addfile") {
            std::istringstream in(text_of(b));
            std::string message, file;
            in >> message >> file;
            EXPECT_FALSE(file.empty()) << "addfile without a file does nothing";
            ++seen;
        }
    EXPECT_GT(seen, 0) << "no addfile box";
}

TEST(HelpPatcher, HasNoBoxForTheUndocumentedBang)
{
    // The premise: bang is in the table and marked undocumented.
    ASSERT_EQ(message_argtype("bang"), A_NOTHING);
    ASSERT_STREQ(maxhost_method_attr(quenbrix_class(), "bang", "undocumented"), "1");

    for (auto &s : sheets())
        for (auto &b : s.boxes) {
            SCOPED_TRACE(b.dump());
            EXPECT_NE(b.value("maxclass", ""), "button");
            if (b.value("maxclass", "") == "message")
                EXPECT_NE(first_word(text_of(b)), "bang");
            EXPECT_EQ(text_of(b).find("bang"), std::string::npos);
        }
}

TEST(HelpPatcher, ShowsWhatEachOutletCarries)
{
    const Sheet *basic = tab("basic");
    ASSERT_NE(basic, nullptr);
    std::string q = quenbrix_box(*basic);
    ASSERT_FALSE(q.empty());
    int outlets = basic->by_id.at(q).value("numoutlets", 0);
    for (int outlet = 0; outlet < outlets; ++outlet) {
        bool shown = false;
        for (auto &l : basic->lines)
            if (l["source"][0] == q && l["source"][1] == outlet)
                shown = true;
        EXPECT_TRUE(shown) << "nothing shows outlet " << outlet;
    }
    std::string comments = comments_of(*basic);
    EXPECT_NE(comments.find("Live Set name"), std::string::npos);
    EXPECT_NE(comments.find("ok or error"), std::string::npos);
}

TEST(HelpPatcher, FocusTabExplainsAnEmptySaveOnMacAndAWindowThatWentAway)
{
    const Sheet *focus = tab("focus");
    ASSERT_NE(focus, nullptr);
    std::string comments = comments_of(*focus);
    EXPECT_NE(comments.find(LIVEAPP_TEXT_NOTHING_SAVED), std::string::npos);
    EXPECT_NE(comments.find("none of its windows was key"), std::string::npos);
    EXPECT_NE(comments.find(LIVEAPP_TEXT_WINDOW_GONE), std::string::npos);
    EXPECT_NE(comments.find("macOS 14"), std::string::npos);
}

// The console texts that the plug-in really posts in the stand-in host:
// the warning outside Live, and the errors of the help's own requests.
std::vector<std::string> texts_the_plugin_posts()
{
    quenbrix_class();
    appkit::set_process_name("Max");
    maxhost::reset_records();
    void *outside = maxhost_new_object("quenbrix", 0, nullptr);
    appkit::set_process_name("Live");
    auto warned = maxhost::console();
    maxhost_free_object(outside);
    std::vector<std::string> posted;
    if (warned.size() == 1)
        posted.push_back(warned[0].text);

    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    std::string example;
    for (auto &b : request_boxes())
        if (first_word(text_of(b)) == "addfile")
            example = text_of(b).substr(text_of(b).find(' ') + 1);
    posted.push_back(posted_for(x, "recallfocus"));
    posted.push_back(posted_for(x, "front"));
    posted.push_back(posted_for(x, "addfile"));
    posted.push_back(posted_for(x, "addfile", {maxhost::sym(example.c_str())}));
    maxhost_free_object(x);
    maxhost_run_queue();
    posted.push_back(LIVEAPP_TEXT_NOT_ACTIVE);
    posted.push_back(LIVEAPP_TEXT_WINDOW_GONE);
    return posted;
}

TEST(HelpPatcher, CommentsQuoteTheConsoleTextsThePluginPosts)
{
    std::string comments = all_comments();
    auto posted = texts_the_plugin_posts();
    ASSERT_EQ(posted.size(), 7u) << "no warning outside Live";
    for (auto &text : posted) {
        EXPECT_FALSE(text.empty());
        EXPECT_NE(comments.find(text), std::string::npos) << "not explained: " << text;
    }
}

namespace {

// Every text the plug-in can post, read from its sources: each
// object_post, object_warn and object_error call of the shared file (both
// platforms) and of each platform's own file, its format made of string
// literals and names #defined in liveapp_texts.h, in the build's
// liveapp_identity.h or in the file itself. A
// %s given a known text is filled in; the other conversions are written as
// the help writes them, %s as <name> and %x as <number>.
std::map<std::string, std::set<std::string>> texts_in_sources()
{
    const std::string dir = QUENBRIX_SOURCE_DIR;
    const std::regex define(R"re(#define\s+(\w+)\s+"([^"]*)")re");
    const std::regex call(R"re(\bobject_(?:post|warn|error)\s*\(([^;]*)\)\s*;)re");
    const std::regex token(R"re("((?:[^"\\]|\\.)*)"|([A-Za-z_]\w*)|(\S))re");
    auto defines = [&](const std::string &text, std::map<std::string, std::string> &out) {
        for (std::sregex_iterator m(text.begin(), text.end(), define), end; m != end; ++m)
            out[(*m)[1]] = (*m)[2];
    };
    std::map<std::string, std::string> shared;
    defines(read_file(dir + "/liveapp_texts.h"), shared);
    defines(read_file(QUENBRIX_IDENTITY_HEADER), shared); // the banner's date and maker

    std::map<std::string, std::set<std::string>> out;
    const std::pair<const char *, std::set<std::string>> files[] = {
        {"liveapp.cpp", {"Windows", "macOS"}},
        {"liveapp_win.cpp", {"Windows"}},
        {"liveapp_mac.cpp", {"macOS"}}};
    for (auto &[file, platforms] : files) {
        std::string source = read_file(dir + "/" + file);
        auto names = shared;
        defines(source, names);
        for (std::sregex_iterator c(source.begin(), source.end(), call), end; c != end; ++c) {
            // The arguments, split at the commas outside parentheses and
            // quotes; each one's text, or nullopt when it is made at run time.
            std::string all = (*c)[1];
            std::vector<std::string> args(1);
            int depth = 0;
            bool quoted = false;
            for (size_t i = 0; i < all.size(); ++i) {
                char ch = all[i];
                if (quoted && ch == '\\') {
                    args.back() += all.substr(i++, 2);
                    continue;
                }
                quoted ^= ch == '"';
                depth += !quoted && ch == '(' ? 1 : !quoted && ch == ')' ? -1 : 0;
                if (!quoted && depth == 0 && ch == ',')
                    args.emplace_back();
                else
                    args.back() += ch;
            }
            std::vector<std::optional<std::string>> values;
            for (auto &arg : args) {
                std::optional<std::string> text = std::string();
                for (std::sregex_iterator t(arg.begin(), arg.end(), token), e; t != e; ++t) {
                    if ((*t)[1].matched)
                        *text += (*t)[1];
                    else if ((*t)[2].matched && names.count((*t)[2]))
                        *text += names[(*t)[2]];
                    else
                        text.reset();
                    if (!text)
                        break;
                }
                values.push_back(text);
            }
            EXPECT_GE(values.size(), 2u) << all;
            if (values.size() < 2 || !values[1]) {
                ADD_FAILURE() << file << ": a console text made at run time: " << all;
                continue;
            }
            std::string format = *values[1], text;
            size_t next = 2;
            for (size_t i = 0; i < format.size(); ++i) {
                if (format[i] != '%' || i + 1 == format.size()) {
                    text += format[i];
                    continue;
                }
                char conversion = format[++i];
                std::optional<std::string> value =
                    next < values.size() ? values[next] : std::nullopt;
                ++next;
                if (conversion == 's')
                    text += value ? *value : "<name>";
                else if (conversion == 'x')
                    text += "<number>";
                else
                    ADD_FAILURE() << file << ": a conversion the help cannot show: " << format;
            }
            out[text].insert(platforms.begin(), platforms.end());
        }
    }
    return out;
}

// The console tab's entries: each a comment whose first line is the text
// and whose further lines, indented, say what it means.
std::map<std::string, std::string> console_tab_entries()
{
    std::map<std::string, std::string> out;
    const Sheet *console = tab("console");
    if (!console)
        return out;
    for (auto &b : console->boxes) {
        if (b.value("maxclass", "") != "comment")
            continue;
        std::istringstream in(text_of(b));
        std::string first, line, rest;
        std::getline(in, first);
        bool entry = true;
        while (std::getline(in, line)) {
            entry = entry && line.rfind("    ", 0) == 0;
            rest += line + "\n";
        }
        if (entry && !rest.empty())
            out[first] = rest;
    }
    return out;
}

} // namespace

TEST(HelpPatcher, ConsoleTabExplainsExactlyTheTextsThePluginCanPostOnEachPlatform)
{
    auto sources = texts_in_sources();
    // The banner, the warning, and at least the errors and notes of every
    // request on either platform: a reading of the sources that finds fewer
    // has gone wrong.
    ASSERT_GE(sources.size(), 15u);
    auto entries = console_tab_entries();
    for (auto &[text, platforms] : sources) {
        SCOPED_TRACE(text);
        auto entry = entries.find(text);
        if (entry == entries.end()) {
            ADD_FAILURE() << "the console tab does not explain: " << text;
            continue;
        }
        bool windows_only = platforms == std::set<std::string>{"Windows"};
        bool mac_only = platforms == std::set<std::string>{"macOS"};
        EXPECT_EQ(entry->second.find("Windows only.") != std::string::npos, windows_only)
            << entry->second;
        EXPECT_EQ(entry->second.find("macOS only.") != std::string::npos, mac_only)
            << entry->second;
    }
    for (auto &[text, explanation] : entries)
        EXPECT_TRUE(sources.count(text)) << "the plug-in never posts: " << text;
}

TEST(UserGuide, ConsoleTableListsEveryTextThePluginCanPost)
{
    std::string readme = read_file(std::string(QUENBRIX_PACKAGE_STATIC) + "/README.md");
    size_t table = readme.find("## Console messages");
    ASSERT_NE(table, std::string::npos);
    readme = readme.substr(table, readme.find("\n## ", table + 1) - table);
    for (auto &[text, platforms] : texts_in_sources())
        EXPECT_NE(readme.find("`" + text + "`"), std::string::npos)
            << "not in the console table: " << text;
}

TEST(UserGuide, ConsoleTableExplainsTheTextsThePluginPosts)
{
    std::string readme = read_file(std::string(QUENBRIX_PACKAGE_STATIC) + "/README.md");
    auto posted = texts_the_plugin_posts();
    ASSERT_EQ(posted.size(), 7u);
    for (auto text : posted) {
        // The guide writes the file name of "can't find the file" as <name>.
        size_t colon = text.find(": ");
        if (colon != std::string::npos)
            text = text.substr(0, colon + 2) + "<name>";
        EXPECT_NE(readme.find("`" + text + "` |"), std::string::npos)
            << "not in the console table: " << text;
    }
}

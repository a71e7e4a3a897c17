// Turning Live's main-window title into the Live Set name.
#include "liveapp.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>

namespace {

// The title's bytes placed so that its terminator is the last readable byte
// before an inaccessible page: any read or write past the string faults.
class GuardedTitle {
public:
    explicit GuardedTitle(const std::string &text)
    {
        page_ = (size_t)sysconf(_SC_PAGESIZE);
        size_t pages = (text.size() + 1 + page_ - 1) / page_ + 1;
        size_ = pages * page_;
        base_ = (char *)mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(base_ + size_ - page_, page_, PROT_NONE);
        str_ = base_ + size_ - page_ - (text.size() + 1);
        std::memcpy(str_, text.c_str(), text.size() + 1);
    }
    ~GuardedTitle() { munmap(base_, size_); }
    char *str() { return str_; }

private:
    size_t page_ = 0, size_ = 0;
    char *base_ = nullptr, *str_ = nullptr;
};

// A title that begins right after an inaccessible page: any read or write
// before its first byte faults.
class TitleAfterGuard {
public:
    explicit TitleAfterGuard(const std::string &text)
    {
        page_ = (size_t)sysconf(_SC_PAGESIZE);
        size_ = (text.size() + 1 + page_ - 1) / page_ * page_ + page_;
        base_ = (char *)mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(base_, page_, PROT_NONE);
        std::memcpy(base_ + page_, text.c_str(), text.size() + 1);
    }
    ~TitleAfterGuard() { munmap(base_, size_); }
    char *str() { return base_ + page_; }

private:
    size_t page_ = 0, size_ = 0;
    char *base_ = nullptr;
};

std::optional<std::string> clean(const std::string &title)
{
    GuardedTitle t(title);
    if (!liveapp_cleantitle(t.str()))
        return std::nullopt;
    return std::string(t.str());
}

// The rules, written out plainly on std::string.
std::optional<std::string> reference(std::string t)
{
    for (char &c : t)
        if (c == '\\')
            c = '/';
    size_t at = t.find(" - Ableton Live");
    if (at == std::string::npos)
        return std::nullopt;
    if (at == 0)
        return std::string();
    char before = t[at - 1];
    if (before == '*')
        return t.substr(0, at - 1);
    std::string name = t.substr(0, at);
    if (before == ']' && name.find("*  [") != std::string::npos) {
        std::string kept;
        for (char c : name)
            if (c != '*')
                kept += c;
        name = kept;
    }
    return name;
}

const char *M = " - Ableton Live";

} // namespace

struct TitleRow {
    std::string title;
    std::optional<std::string> name;
};

class TitleTable : public ::testing::TestWithParam<TitleRow> {};

TEST_P(TitleTable, GivesTheSetNameOfTheTitle)
{
    EXPECT_EQ(clean(GetParam().title), GetParam().name) << GetParam().title;
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleTable,
    ::testing::Values(
        TitleRow{std::string("Song") + M + " 12 Suite", "Song"},
        TitleRow{std::string("Song*") + M + " 12 Suite", "Song"},
        TitleRow{std::string("Song  [Demo Project]") + M + " 12", "Song  [Demo Project]"},
        TitleRow{std::string("Song*  [Demo Project]") + M + " 12", "Song  [Demo Project]"},
        TitleRow{std::string("A*B*") + M, "A*B"},
        TitleRow{std::string("A*B*  [P*Q]") + M, "AB  [PQ]"},
        TitleRow{std::string("Song*[P]") + M, "Song*[P]"},
        TitleRow{std::string("C:\\Sets\\x") + M, "C:/Sets/x"},
        TitleRow{std::string("*") + M, ""},
        TitleRow{"Song Ableton Live 12", std::nullopt},
        TitleRow{"Song -Ableton Live", std::nullopt},
        TitleRow{std::string("Song") + M + " 12" + M + " 11", "Song"},
        // Starting with the marker: no set name, an empty one.
        TitleRow{std::string(M) + " 12 Suite", ""},
        TitleRow{"", std::nullopt},
        TitleRow{"Mein Lied \xC3\xA4\xE2\x82\xAC*" + std::string(M), "Mein Lied \xC3\xA4\xE2\x82\xAC"}),
    [](const ::testing::TestParamInfo<TitleRow> &info) {
        return "row" + std::to_string(info.index);
    });

TEST(CleanTitle, ATitleThatBeginsWithTheMarkerGivesTheEmptyNameWithoutLookingBeforeIt)
{
    const std::string title = std::string(M) + " 12 Suite";
    // Bytes that the rules would act on, were they part of the title.
    for (const std::string before : {"*", "]"}) {
        GuardedTitle t(before + title);
        char *start = t.str() + before.size();
        EXPECT_TRUE(liveapp_cleantitle(start)) << before;
        EXPECT_STREQ(start, "") << before;
        EXPECT_EQ(std::string(t.str(), before.size()), before) << "the bytes before are untouched";
    }
    // Nothing at all before it: a look there faults.
    TitleAfterGuard guarded(title);
    ASSERT_TRUE(liveapp_cleantitle(guarded.str()));
    EXPECT_STREQ(guarded.str(), "");
}

TEST(CleanTitle, RemoveAsterixDropsEveryAsteriskAndKeepsAnEmptyStringEmpty)
{
    char a[] = "*a**b*";
    liveapp_removeAsterix(a);
    EXPECT_STREQ(a, "ab");
    char empty[] = "";
    liveapp_removeAsterix(empty);
    EXPECT_STREQ(empty, "");
    char stars[] = "***";
    liveapp_removeAsterix(stars);
    EXPECT_STREQ(stars, "");
}

TEST(CleanTitle, AgreesWithThePlainRulesOnRandomTitlesAndNeverOverruns)
{
    static const char *pieces[] = {
        "*", " ", "  ", "-", "[", "]", "\\", "/", "*  [", M, " - Ableton", "Ableton Live",
        "Song", "x", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB9", "\xFF", "12 Suite"};
    std::mt19937 rng(20221205);
    std::uniform_int_distribution<int> count(0, 12);
    std::uniform_int_distribution<size_t> pick(0, sizeof pieces / sizeof *pieces - 1);
    int with_marker = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string title;
        for (int n = count(rng); n > 0; --n)
            title += pieces[pick(rng)];
        auto got = clean(title);
        auto want = reference(title);
        ASSERT_EQ(got, want) << "title: " << title;
        if (got) {
            ++with_marker;
            ASSERT_LE(got->size(), title.size());
        }
    }
    EXPECT_GT(with_marker, 10000); // the marker path is well exercised

    // Every byte value at every place of a short name that holds a
    // backslash and the bracket rule's asterisk.
    for (int b = 1; b < 256; ++b)
        for (size_t at = 0; at <= 10; ++at) {
            std::string title = "a\\b*  [c*]";
            title.insert(at, 1, (char)b);
            title += M;
            ASSERT_EQ(clean(title), reference(title)) << "byte " << b << " at " << at;
        }

    // Long titles, up to some thousands of bytes, with near misses of the
    // marker among them.
    static const char *near[] = {" -", "- ", " - ", "- Ableton Live", " - Ableton Liv", "-"};
    std::uniform_int_distribution<int> long_count(100, 600);
    std::uniform_int_distribution<size_t> pick_near(0, sizeof near / sizeof *near - 1);
    for (int i = 0; i < 2000; ++i) {
        std::string title;
        for (int n = long_count(rng); n > 0; --n)
            title += n % 3 ? pieces[pick(rng)] : near[pick_near(rng)];
        ASSERT_EQ(clean(title), reference(title)) << "title: " << title;
    }
}

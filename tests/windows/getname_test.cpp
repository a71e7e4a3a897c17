// getname with the real plug-in: the set name from Live's main window, and
// what the copy outside Live does.
#include "wintest.h"

#include "liveapp_texts.h"

namespace {

std::vector<std::string> names_sent(const std::vector<maxhost::Message> &sent)
{
    std::vector<std::string> out;
    for (const maxhost::Message &m : sent) {
        EXPECT_EQ(m.outlet, LEFT) << m.selector;
        EXPECT_TRUE(m.on_main_thread);
        out.push_back(m.selector);
    }
    return out;
}

} // namespace

class Getname : public WinTest {};

TEST_F(Getname, SendsTheSetNameWithoutAsteriskAndMarker)
{
    ASSERT_TRUE(window("Song* - Ableton Live 12 Suite"));
    void *x = make();
    EXPECT_TRUE(lines_of(x, MAXHOST_WARN).empty()) << "inside Live, no warning";
    maxhost::send(x, "getname");
    ASSERT_TRUE(livewin_run_until_sent(1, 2000));
    EXPECT_EQ(names_sent(sent_by(x)), std::vector<std::string>{"Song"});
    EXPECT_TRUE(errors_of(x).empty());
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

TEST_F(Getname, KeepsBlanksAndBracketsInOneSymbolAndNonAsciiIntact)
{
    HWND main = window("My Song*  [Demo Project] - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    void *x = make();
    maxhost::send(x, "getname");
    ASSERT_TRUE(livewin_run_until_sent(1, 2000));

    SetWindowTextW(main, livewin_utf16("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC "
                                       "\xF0\x9F\x8E\xB9* - Ableton Live 12 Suite")
                             .c_str());
    maxhost::send(x, "getname");
    ASSERT_TRUE(livewin_run_until_sent(2, 2000));

    std::vector<maxhost::Message> sent = sent_by(x);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].selector, "My Song  [Demo Project]");
    EXPECT_EQ(sent[1].selector, "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB9");
    for (const maxhost::Message &m : sent)
        EXPECT_EQ(m.outlet, LEFT);
}

TEST_F(Getname, SkipsOwnedDialogsAndWindowsOfOtherClasses)
{
    HWND main = window("Main Set - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    // Made later, so these stand above the main window in the window order
    // and the search meets them first.
    ASSERT_TRUE(window("Dialog Set - Ableton Live 12 Suite", main));
    ASSERT_TRUE(window("Other Set - Ableton Live 12 Suite", nullptr, L"SomeOtherClass"));
    void *x = make();
    maxhost::send(x, "getname");
    ASSERT_TRUE(livewin_run_until_sent(1, 2000));
    EXPECT_EQ(names_sent(sent_by(x)), std::vector<std::string>{"Main Set"});
}

TEST_F(Getname, NamesThisLiveNotAnotherLiveRunningBesideIt)
{
    HWND main = window("Mine - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    OtherApp other("Theirs* - Ableton Live 12 Suite");
    ASSERT_TRUE(other.started());
    std::vector<HWND> order = live_class_windows();
    ASSERT_EQ(order.size(), 2u);
    DWORD first = 0;
    GetWindowThreadProcessId(order[0], &first);
    ASSERT_EQ(first, other.pid()) << "the other Live's window is met first";

    void *x = make();
    maxhost::send(x, "getname");
    ASSERT_TRUE(livewin_run_until_sent(1, 2000));
    livewin_run_for(20);
    EXPECT_EQ(names_sent(sent_by(x)), std::vector<std::string>{"Mine"});
    EXPECT_TRUE(errors_of(x).empty());
}

TEST_F(Getname, WithoutALiveMainWindowPostsAnErrorAndSendsNothing)
{
    HWND main = window("Untitled - Ableton Live 12 Suite");
    ASSERT_TRUE(window("Dialog - Ableton Live 12 Suite", main));
    window("Song - Ableton Live 12 Suite", nullptr, L"SomeOtherClass");
    ShowWindow(main, SW_HIDE);
    SetWindowTextW(main, L"No marker here");
    void *x = make();
    maxhost::send(x, "getname");
    livewin_run_for(100);
    EXPECT_TRUE(sent_by(x).empty());
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_NO_WINDOW});
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

// Run by MaxSimTests.exe, whose name has no "Live" in it.
class OutsideLive : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        ASSERT_EQ(livewin_exe_path().find("Live"), std::string::npos)
            << "this suite plays the stand-alone host; run it in MaxSimTests.exe";
    }
};

TEST_F(OutsideLive, WarnsOnceAndGetnameRefusesWithoutSearching)
{
    // A Live-like main window in this process: getname must not even look.
    ASSERT_TRUE(window("Song - Ableton Live 12 Suite"));
    void *x = make();
    ASSERT_TRUE(x);
    EXPECT_EQ(lines_of(x, MAXHOST_WARN),
              std::vector<std::string>{
                  "we are not in the Live process (it doesn't work in Max / M4L editor)"});

    maxhost::send(x, "getname");
    maxhost::send(x, "getname");
    livewin_run_for(100);
    EXPECT_TRUE(sent_by(x).empty());
    std::vector<std::string> refused(
        2, "Live process not found (it doesn't work in Max / M4L editor)");
    EXPECT_EQ(errors_of(x), refused);
    EXPECT_EQ(lines_of(x, MAXHOST_WARN).size(), 1u) << "the warning comes once";
}

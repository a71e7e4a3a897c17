// front, savefocus and recallfocus with the real plug-in: which window ends
// up in front, also against another application.
#include "wintest.h"

#include "liveapp_texts.h"

class Front : public WinTest {};

TEST_F(Front, RestoresAMinimisedMainWindowAndMakesItForeground)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    ShowWindow(main, SW_MINIMIZE);
    livewin_run_for(20);
    ASSERT_TRUE(IsIconic(main));
    void *x = make();
    maxhost::send(x, "front");
    livewin_run_for(100);
    EXPECT_FALSE(IsIconic(main));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_TRUE(errors_of(x).empty());
    EXPECT_TRUE(sent_by(x).empty());
}

TEST_F(Front, TakesTheForegroundFromAnotherApplication)
{
    HWND main = window("Song* - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    HWND dialog = window("Export - Ableton Live 12 Suite", main);
    OtherApp other;
    ASSERT_TRUE(other.started());
    ASSERT_EQ(foreground_pid(), other.pid()) << "the other application is in front";

    void *x = make();
    maxhost::send(x, "front");
    livewin_run_for(100);
    EXPECT_EQ(GetForegroundWindow(), main) << "the main window, not the owned dialog";
    EXPECT_NE(GetForegroundWindow(), dialog);
    EXPECT_EQ(GetActiveWindow(), main);
    EXPECT_TRUE(errors_of(x).empty());
}

TEST_F(Front, WithoutALiveMainWindowPostsAnError)
{
    HWND untitled = window("", nullptr);
    ASSERT_TRUE(untitled);
    window("Song - Ableton Live 12 Suite", nullptr, L"SomeOtherClass");
    window("Song - Ableton Live 12 Suite", untitled);
    void *x = make();
    maxhost::send(x, "front");
    livewin_run_for(50);
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_NO_WINDOW});
}

TEST_F(Front, PassesOverATitledLiveWindowWithoutTheMarkerForTheMainWindow)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    // Unowned, of Live's class, titled, but not Live's main window; made
    // later, so it is in front and the search meets it first.
    HWND other = window("Preferences");
    ASSERT_TRUE(other);
    ASSERT_EQ(live_class_windows().front(), other);
    ASSERT_EQ(GetForegroundWindow(), other);

    void *x = make();
    maxhost::send(x, "front");
    livewin_run_for(100);
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_TRUE(errors_of(x).empty());
}

TEST_F(Front, BringsThisLiveForwardNotAnotherLiveInFrontOfIt)
{
    HWND main = window("Mine - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    OtherApp other("Theirs - Ableton Live 12 Suite");
    ASSERT_TRUE(other.started());
    ASSERT_EQ(foreground_pid(), other.pid()) << "the other Live is in front";
    ASSERT_NE(live_class_windows().front(), main) << "and met first";

    void *x = make();
    maxhost::send(x, "front");
    livewin_run_for(100);
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_TRUE(errors_of(x).empty());
}

class Focus : public WinTest {};

TEST_F(Focus, RecallBringsBackTheSavedWindowAlsoFromBehindAnotherApplication)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND browser = window("Browser - Ableton Live 12 Suite", main);
    ASSERT_TRUE(main && browser);
    SetForegroundWindow(browser);
    livewin_run_for(20);
    ASSERT_EQ(GetForegroundWindow(), browser);

    void *x = make();
    maxhost::send(x, "savefocus"); // in place, no queue needed
    maxhost::send(x, "front");
    livewin_run_for(50);
    ASSERT_EQ(GetForegroundWindow(), main);

    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(GetForegroundWindow(), browser);

    OtherApp other;
    ASSERT_TRUE(other.started());
    ASSERT_EQ(foreground_pid(), other.pid());
    maxhost::send(x, "recallfocus");
    livewin_run_for(100);
    EXPECT_EQ(GetForegroundWindow(), browser);
    EXPECT_TRUE(errors_of(x).empty());
    EXPECT_TRUE(sent_by(x).empty());
}

TEST_F(Focus, SaveWhileAnotherApplicationIsInFrontKeepsTheEarlierWindow)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND browser = window("Browser - Ableton Live 12 Suite", main);
    ASSERT_TRUE(main && browser);
    SetForegroundWindow(browser);
    livewin_run_for(20);
    void *x = make();
    maxhost::send(x, "savefocus");

    OtherApp other;
    ASSERT_TRUE(other.started());
    ASSERT_EQ(foreground_pid(), other.pid());
    maxhost::send(x, "savefocus");
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_NOT_ACTIVE});

    SetForegroundWindow(main);
    livewin_run_for(50);
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(GetForegroundWindow(), browser) << "the window saved first is still saved";
}

TEST_F(Focus, RecallBeforeAnySaveSaysNothingWasSaved)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    void *x = make();
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_NOTHING_SAVED});
}

TEST_F(Focus, RecallOfAWindowClosedSinceDoesNotTouchItAndSaysSo)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND dialog = window("Preferences", main);
    ASSERT_TRUE(main && dialog);
    SetForegroundWindow(dialog);
    livewin_run_for(20);
    void *x = make();
    maxhost::send(x, "savefocus");
    close(dialog);
    SetForegroundWindow(main);
    livewin_run_for(20);

    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_WINDOW_GONE});
    EXPECT_EQ(GetForegroundWindow(), main);

    // The dead window is forgotten: recall now has nothing saved.
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(errors_of(x).back(), LIVEAPP_TEXT_NOTHING_SAVED);
}

TEST_F(Focus, ASavedDialogThatLiveHidIsForgottenAndStaysHiddenButAMinimisedWindowComesBack)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND dialog = window("Export - Ableton Live 12 Suite", main);
    ASSERT_TRUE(main && dialog);
    SetForegroundWindow(dialog);
    livewin_run_for(20);
    ASSERT_EQ(GetForegroundWindow(), dialog);
    void *x = make();
    maxhost::send(x, "savefocus");
    ShowWindow(dialog, SW_HIDE); // Live put the dialog away
    SetForegroundWindow(main);
    livewin_run_for(20);

    maxhost::send(x, "recallfocus");
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_EQ(errors_of(x), (std::vector<std::string>{LIVEAPP_TEXT_WINDOW_GONE,
                                                      LIVEAPP_TEXT_NOTHING_SAVED}));

    maxhost::send(x, "savefocus");
    ShowWindow(main, SW_MINIMIZE);
    livewin_run_for(20);
    ASSERT_TRUE(IsIconic(main));
    maxhost::send(x, "recallfocus");
    livewin_run_for(100);
    EXPECT_FALSE(IsIconic(main));
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_EQ(errors_of(x).size(), 2u);
}

// recallfocus forgets a saved window that has closed, unless a savefocus on
// another thread has saved another one meanwhile: here it does so right as
// recallfocus reports the window gone.
TEST_F(Focus, RecallForgettingAClosedWindowKeepsOneSavedMeanwhileOnAnotherThread)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND dialog = window("Preferences", main);
    HWND browser = window("Browser - Ableton Live 12 Suite", main);
    ASSERT_TRUE(main && dialog && browser);
    SetForegroundWindow(dialog);
    livewin_run_for(20);
    void *x = make();
    maxhost::send(x, "savefocus");
    close(dialog);
    SetForegroundWindow(browser);
    livewin_run_for(20);
    ASSERT_EQ(GetForegroundWindow(), browser);

    struct Race {
        void *x;
        int saves;
    } race{x, 0};
    maxhost_on_post(
        [](void *arg, void *, const char *text) {
            Race *r = (Race *)arg;
            if (std::string(text) == LIVEAPP_TEXT_WINDOW_GONE && r->saves++ == 0) {
                HANDLE saver = CreateThread(
                    nullptr, 0,
                    [](void *p) -> DWORD {
                        maxhost::send(p, "savefocus");
                        return 0;
                    },
                    r->x, 0, nullptr);
                WaitForSingleObject(saver, INFINITE);
                CloseHandle(saver);
            }
        },
        &race);
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    maxhost_on_post(nullptr, nullptr);
    ASSERT_EQ(race.saves, 1);

    SetForegroundWindow(main);
    livewin_run_for(20);
    maxhost::send(x, "recallfocus");
    livewin_run_for(50);
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_WINDOW_GONE});
    EXPECT_EQ(GetForegroundWindow(), browser) << "the window saved meanwhile is still saved";
}

// A window minimised and then hidden stays iconic, but Live has put it
// away all the same: recall leaves it hidden, as it does a hidden window.
TEST_F(Focus, ASavedWindowMinimisedThenHiddenCountsAsGone)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    HWND dialog = window("Export - Ableton Live 12 Suite", main);
    ASSERT_TRUE(main && dialog);
    SetForegroundWindow(dialog);
    livewin_run_for(20);
    ASSERT_EQ(GetForegroundWindow(), dialog);
    void *x = make();
    maxhost::send(x, "savefocus");
    ShowWindow(dialog, SW_MINIMIZE);
    ShowWindow(dialog, SW_HIDE);
    SetForegroundWindow(main);
    livewin_run_for(20);
    ASSERT_TRUE(IsIconic(dialog));

    maxhost::send(x, "recallfocus");
    livewin_run_for(100);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(GetForegroundWindow(), main);
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_WINDOW_GONE});
}

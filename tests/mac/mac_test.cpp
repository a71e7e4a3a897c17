// The macOS plug-in file, unchanged, in the stand-in host with the stand-in
// AppKit: what a patch sees from getname, front, savefocus, recallfocus,
// addfile and bang, and what the object asks of AppKit and the process.
#include "fixture.h"
#include "liveapp_texts.h"
#include "appkit.h"

#include <fstream>
#include <string>
#include <unistd.h>

using maxhost::Line;

namespace {

const int LEFT = 0, RIGHT = 1;
const char *const LIVE_TITLE = "My Set*  [Demo Project] - Ableton Live 12 Suite";

class Mac : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        appkit::reset();
    }

    // Every test ends with no host allocation and no AppKit object left
    // behind once its objects are freed and its windows closed.
    void TearDown() override
    {
        HostTest::TearDown();
        appkit::drain_autorelease_pool();
        for (id w : appkit::open_windows())
            appkit::close_window(w);
        EXPECT_EQ(appkit::live_objects(), 0) << "AppKit objects leaked";
        EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
        EXPECT_EQ(maxhost_bad_frees(), 0);
    }

    // One turn of the host's main thread, then the run loop's pool drain.
    void run()
    {
        maxhost_run_queue();
        appkit::drain_autorelease_pool();
    }

    Line error(t_liveapp *x, const std::string &text) const
    {
        return {MAXHOST_ERROR, x, text};
    }
};

std::string temp_folder()
{
    char templ[] = "/tmp/quenbrix-mac-XXXXXX";
    return mkdtemp(templ);
}

} // namespace

// ---- getname ----

using MacGetname = Mac;

TEST_F(MacGetname, SendsTheFirstTitledWindowThatCanBecomeMainWithItsTitleAsItStands)
{
    appkit::add_window("", true);              // no title
    appkit::add_window("Browser", false);      // cannot become main
    appkit::add_window(LIVE_TITLE, true);      // Live's main window
    appkit::add_window("Second Set - Ableton Live", true);
    t_liveapp *x = make();

    maxhost::send(x, "getname");
    run();

    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, LIVE_TITLE); // asterisk and marker stay
    EXPECT_EQ(out[0].outlet, LEFT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(MacGetname, KeepsBackslashesAndBlanksInOneSymbol)
{
    appkit::add_window("C:\\Sets\\two words", true);
    t_liveapp *x = make();
    maxhost::send(x, "getname");
    run();
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "C:\\Sets\\two words");
    EXPECT_EQ(maxhost_sent_argc(0), 0);
}

TEST_F(MacGetname, WorksOutsideLiveToo)
{
    appkit::set_process_name("Max");
    appkit::add_window("Untitled", true);
    t_liveapp *x = make();
    maxhost_console_clear();
    maxhost::send(x, "getname");
    run();
    ASSERT_EQ(maxhost_sent_count(), 1);
    EXPECT_EQ(maxhost::sent()[0].selector, "Untitled");
}

TEST_F(MacGetname, WithoutAPassingWindowGetnameAndFrontOnlySayTheyCantFindIt)
{
    // No windows at all, then windows that all fail one of the tests.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            appkit::add_window("", true);
            appkit::add_window("Palette", false);
        }
        appkit::clear_records();
        maxhost::reset_records();
        t_liveapp *x = make();
        maxhost::send(x, "getname");
        maxhost::send(x, "front");
        run();
        EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NO_WINDOW),
                                                  error(x, LIVEAPP_TEXT_NO_WINDOW)}))
            << "round " << round;
        EXPECT_EQ(maxhost_sent_count(), 0);
        EXPECT_TRUE(appkit::activations().empty());
        EXPECT_TRUE(appkit::fronted().empty());
        destroy(x);
    }
}

TEST_F(MacGetname, LivesOnlyMainWindowMinimisedIsNamedAndFrontBringsItBack)
{
    // Beside it, windows that can never be Live's main window, in either
    // order of the application's list.
    for (auto order : {appkit::ListOrder::as_made, appkit::ListOrder::reversed}) {
        appkit::reset();
        maxhost::reset_records();
        appkit::set_list_order(order);
        appkit::add_window("Inspector", false); // a panel
        appkit::miniaturize(appkit::add_window("Palette", false));
        appkit::add_window("", true);
        appkit::set_style(appkit::add_window("Splash", true), appkit::STYLE_BORDERLESS);
        appkit::order_out(appkit::add_window("Hidden", true));
        id live = appkit::add_window(LIVE_TITLE, true);
        appkit::miniaturize(live);
        t_liveapp *x = make();

        maxhost::send(x, "getname");
        maxhost::send(x, "front");
        run();

        auto out = maxhost::sent();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].selector, LIVE_TITLE);
        EXPECT_TRUE(lines_of(x).empty());
        EXPECT_TRUE(appkit::visible(live)); // out of the Dock
        EXPECT_EQ(appkit::key_window(), live);
        EXPECT_EQ(appkit::main_window(), live);
        EXPECT_EQ(appkit::activations(), (std::vector<unsigned long>{2}));
        destroy(x);
    }
}

TEST_F(MacGetname, TheApplicationsMainWindowIsChosenWhateverTheListOrder)
{
    for (auto order : {appkit::ListOrder::as_made, appkit::ListOrder::reversed}) {
        appkit::reset();
        maxhost::reset_records();
        appkit::set_list_order(order);
        id other = appkit::add_window("Other Set - Ableton Live", true);
        id live = appkit::add_window(LIVE_TITLE, true);
        appkit::add_window("Third Set - Ableton Live", true);
        appkit::set_active(true);
        appkit::set_main_window(live);
        t_liveapp *x = make();

        maxhost::send(x, "getname");
        appkit::set_key_window(other);
        maxhost::send(x, "front");
        run();

        auto out = maxhost::sent();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].selector, LIVE_TITLE);
        EXPECT_EQ(appkit::fronted(), (std::vector<id>{live}));
        EXPECT_EQ(appkit::key_window(), live);
        destroy(x);
    }
}

// ---- front ----

using MacFront = Mac;

TEST_F(MacFront, ActivatesIgnoringOtherAppsWhenInactiveThenFrontsTheMainWindow)
{
    appkit::add_window("Palette", false);
    id live = appkit::add_window(LIVE_TITLE, true);
    appkit::set_active(false);
    t_liveapp *x = make();

    maxhost::send(x, "front");
    run();

    EXPECT_EQ(appkit::activations(), (std::vector<unsigned long>{2}));
    EXPECT_EQ(appkit::fronted(), (std::vector<id>{live}));
    EXPECT_EQ(appkit::key_window(), live);
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_EQ(maxhost_sent_count(), 0);
}

TEST_F(MacFront, DoesNotActivateAnAlreadyActiveApplication)
{
    id live = appkit::add_window(LIVE_TITLE, true);
    appkit::set_active(true);
    t_liveapp *x = make();
    maxhost::send(x, "front");
    run();
    EXPECT_TRUE(appkit::activations().empty());
    EXPECT_EQ(appkit::fronted(), (std::vector<id>{live}));
}

// ---- savefocus and recallfocus ----

using MacFocus = Mac;

TEST_F(MacFocus, RecallBringsBackTheWindowThatHadTheFocusWhenSaved)
{
    id live = appkit::add_window(LIVE_TITLE, true);
    id plugin = appkit::add_window("Device", false);
    appkit::set_active(true);
    appkit::set_key_window(plugin);
    t_liveapp *x = make();

    maxhost::send(x, "savefocus"); // in place, no queue
    appkit::set_key_window(live);
    appkit::set_active(false); // another application came to the front
    maxhost::send(x, "recallfocus");
    run();

    EXPECT_EQ(appkit::activations(), (std::vector<unsigned long>{2}));
    EXPECT_EQ(appkit::fronted(), (std::vector<id>{plugin}));
    EXPECT_EQ(appkit::key_window(), plugin);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(MacFocus, SavefocusWhileInactiveSaysSoAndKeepsTheEarlierWindow)
{
    id first = appkit::add_window(LIVE_TITLE, true);
    id second = appkit::add_window("Other", true);
    appkit::set_active(true);
    appkit::set_key_window(first);
    t_liveapp *x = make();
    maxhost::send(x, "savefocus");

    appkit::set_active(false);
    appkit::set_key_window(second);
    maxhost::send(x, "savefocus");
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NOT_ACTIVE)}));

    appkit::set_active(true);
    maxhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(appkit::activations().empty()); // already active
    EXPECT_EQ(appkit::fronted(), (std::vector<id>{first}));
}

TEST_F(MacFocus, RecallBeforeAnySaveOrAfterSavingNoKeyWindowSaysNothingWasSaved)
{
    appkit::add_window(LIVE_TITLE, true);
    t_liveapp *x = make();
    maxhost::send(x, "recallfocus");
    run();
    appkit::set_active(true); // active, but no window is key
    maxhost::send(x, "savefocus");
    maxhost::send(x, "recallfocus");
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NOTHING_SAVED),
                                              error(x, LIVEAPP_TEXT_NOTHING_SAVED)}));
    EXPECT_TRUE(appkit::fronted().empty());
    EXPECT_TRUE(appkit::activations().empty());
}

TEST_F(MacFocus, ASavedWindowClosedOrHiddenSinceIsReportedForgottenAndNeverShownAgain)
{
    appkit::add_window(LIVE_TITLE, true);
    id dialog = appkit::add_window("Export", true);
    id palette = appkit::add_window("Palette", false);
    appkit::set_active(true);
    t_liveapp *x = make();

    appkit::set_key_window(dialog);
    maxhost::send(x, "savefocus");
    appkit::close_window(dialog); // still listed: the object holds it
    EXPECT_FALSE(appkit::deallocated(dialog));
    maxhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(appkit::deallocated(dialog)); // forgotten, so gone

    appkit::set_key_window(palette);
    maxhost::send(x, "savefocus");
    appkit::order_out(palette);
    maxhost::send(x, "recallfocus");
    maxhost::send(x, "recallfocus");
    run();

    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_WINDOW_GONE),
                                              error(x, LIVEAPP_TEXT_WINDOW_GONE),
                                              error(x, LIVEAPP_TEXT_NOTHING_SAVED)}));
    EXPECT_TRUE(appkit::fronted().empty());
    EXPECT_FALSE(appkit::visible(palette));
    EXPECT_EQ(appkit::retain_count(palette), 1); // only the application's
}

TEST_F(MacFocus, AMinimisedSavedWindowIsBroughtBackFromTheDock)
{
    id live = appkit::add_window(LIVE_TITLE, true);
    appkit::set_active(true);
    appkit::set_key_window(live);
    t_liveapp *x = make();
    maxhost::send(x, "savefocus");
    appkit::miniaturize(live);
    appkit::set_active(false);

    maxhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_TRUE(appkit::visible(live));
    EXPECT_EQ(appkit::key_window(), live);
    EXPECT_EQ(appkit::activations(), (std::vector<unsigned long>{2}));
}

TEST_F(MacFocus, ASavedWindowMinimisedThenHiddenOrClosedCountsAsGone)
{
    appkit::add_window(LIVE_TITLE, true);
    id hidden = appkit::add_window("Export", true);
    id closed = appkit::add_window("Preferences", true);
    appkit::set_active(true);
    for (id w : {hidden, closed}) {
        t_liveapp *x = make();
        appkit::set_key_window(w);
        maxhost::send(x, "savefocus");
        appkit::miniaturize(w);
        if (w == hidden)
            appkit::order_out(w);
        else
            appkit::close_window(w);
        maxhost::send(x, "recallfocus");
        run();
        EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_WINDOW_GONE)}));
        EXPECT_FALSE(appkit::visible(w));
        destroy(x);
    }
    EXPECT_TRUE(appkit::fronted().empty());
    EXPECT_TRUE(appkit::deallocated(closed)); // forgotten, so let go
}

TEST_F(MacFocus, TheSavedWindowIsHeldUntilReplacedOrTheObjectIsFreed)
{
    id first = appkit::add_window(LIVE_TITLE, true);
    id second = appkit::add_window("Other", true);
    appkit::set_active(true);
    t_liveapp *x = make();

    appkit::set_key_window(first);
    maxhost::send(x, "savefocus");
    EXPECT_EQ(appkit::retain_count(first), 2); // the application's and ours

    appkit::set_key_window(second);
    maxhost::send(x, "savefocus");
    EXPECT_EQ(appkit::retain_count(first), 1);
    EXPECT_EQ(appkit::retain_count(second), 2);

    maxhost::send(x, "savefocus"); // the same window again
    EXPECT_EQ(appkit::retain_count(second), 2);

    destroy(x);
    EXPECT_EQ(appkit::retain_count(second), 1);
}

// ---- addfile ----

using MacAddfile = Mac;

TEST_F(MacAddfile, AsksTheWorkspaceToOpenTheFileWithThisProcessAndOkFollows)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/My Song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    const char *live = "/Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live";
    appkit::set_process_path(live);
    t_liveapp *x = make();

    maxhost::send(x, "addfile", {maxhost::sym("My Song.als")});
    run();
    double delayed = maxhost_last_clock_delay();

    auto requests = appkit::open_requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].file, folder + "/My Song.als");
    EXPECT_EQ(requests[0].application, "/Applications/Ableton Live 12 Suite.app");
    EXPECT_EQ(maxhost_sent_count(), 0); // not before the clock fires

    ASSERT_TRUE(maxhost_run_until_sent(1, 2000));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "ok");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_GE(out[0].time - delayed, 1.0);
    EXPECT_TRUE(lines_of(x).empty());
    maxhost_clear_search_path();
}

TEST_F(MacAddfile, AMissingFileIsNamedAndErrorIsSent)
{
    t_liveapp *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("Nowhere.als")});
    run();
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "can't find the file: Nowhere.als")}));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(appkit::open_requests().empty());
}

TEST_F(MacAddfile, NamesTheInnermostBundleOrElseTheExecutableAsItIs)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    const std::vector<std::pair<std::string, std::string>> paths = {
        {"/Apps/Suite.app/Contents/Helpers/Live.app/Contents/MacOS/Live",
         "/Apps/Suite.app/Contents/Helpers/Live.app"},
        {"/opt/live/bin/Live", "/opt/live/bin/Live"},
        {"/Apps/My.application/Live", "/Apps/My.application/Live"}};
    t_liveapp *x = make();
    for (auto &p : paths) {
        appkit::set_process_path(p.first.c_str());
        maxhost::send(x, "addfile", {maxhost::sym("song.als")});
        run();
    }
    auto requests = appkit::open_requests();
    ASSERT_EQ(requests.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(requests[i].application, paths[i].second);
    maxhost_clear_search_path();
}

TEST_F(MacAddfile, AnOpenRequestTheWorkspaceRefusesIsAnError)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    appkit::set_open_result(false);
    t_liveapp *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("song.als")});
    run();
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "Live was not given the file: song.als")}));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_EQ(maxhost_clocks_pending(), 0);
    maxhost_clear_search_path();
}

TEST_F(MacAddfile, AnUnavailableProcessPathIsReportedAndErrorIsSent)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    appkit::set_process_path(nullptr);
    t_liveapp *x = make();

    maxhost::send(x, "addfile", {maxhost::sym("song.als")});
    run();
    run();

    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "error getting process path")}));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(appkit::open_requests().empty());
    EXPECT_EQ(maxhost_clocks_pending(), 0);
    maxhost_clear_search_path();
}

// ---- bang and the process check ----

TEST_F(Mac, BangDoesNothingAtAll)
{
    appkit::add_window(LIVE_TITLE, true);
    t_liveapp *x = make();
    appkit::clear_records();
    maxhost::send(x, "bang");
    run();
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_EQ(maxhost_sent_count(), 0);
    EXPECT_TRUE(appkit::messages().empty());
}

TEST_F(Mac, TheProcessCheckHasThreeOutcomes)
{
    appkit::set_process_name("Live");
    t_liveapp *inside = make();
    EXPECT_EQ(inside->process_state, 1);
    EXPECT_TRUE(lines_of(inside).empty());

    appkit::set_process_name("Max");
    t_liveapp *outside = make();
    EXPECT_EQ(outside->process_state, -1);
    EXPECT_EQ(lines_of(outside),
              (std::vector<Line>{{MAXHOST_WARN, outside,
                                  "we are not in the Live process (it doesn't work "
                                  "in Max / M4L editor)"}}));

    appkit::set_process_name(nullptr);
    t_liveapp *unknown = make();
    EXPECT_EQ(unknown->process_state, -1);
    EXPECT_EQ(lines_of(unknown),
              (std::vector<Line>{error(unknown, "error getting process name")}));
}

TEST_F(Mac, EveryRequestInTurnLeavesNothingBehind)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    id live = appkit::add_window(LIVE_TITLE, true);
    appkit::set_active(true);
    appkit::set_key_window(live);
    long objects_before = appkit::live_objects(); // the window and its title
    t_liveapp *x = make();
    for (int i = 0; i < 3; ++i) {
        for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
            maxhost::send(x, m);
        maxhost::send(x, "addfile", {maxhost::sym("song.als")});
        maxhost::send(x, "addfile", {maxhost::sym("missing.als")});
        run();
        maxhost_run_until_sent(maxhost_sent_count() + 2, 2000);
        appkit::drain_autorelease_pool();
    }
    EXPECT_EQ(appkit::open_requests().size(), 3u);
    EXPECT_EQ(appkit::live_objects(), objects_before);
    maxhost_clear_search_path();
}

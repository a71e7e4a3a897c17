// The macOS plug-in file, unchanged, in the stand-in host with the stand-in
// AppKit: what a patch sees from getname, front, savefocus, recallfocus,
// addfile and bang, and what the object asks of AppKit and the process.
#include "fixture.h"
#include "liveapp_texts.h"
#include "macsim.h"

#include <fstream>
#include <string>
#include <unistd.h>

using simhost::Line;

namespace {

const int LEFT = 0, RIGHT = 1;
const char *const LIVE_TITLE = "My Set*  [Demo Project] - Ableton Live 12 Suite";

class Mac : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        macsim::reset();
    }

    // Every test ends with no host allocation and no AppKit object left
    // behind once its objects are freed and its windows closed.
    void TearDown() override
    {
        HostTest::TearDown();
        macsim::drain_autorelease_pool();
        for (id w : macsim::open_windows())
            macsim::close_window(w);
        EXPECT_EQ(macsim::live_objects(), 0) << "AppKit objects leaked";
        EXPECT_EQ(simhost_live_allocations(), allocations_before_);
        EXPECT_EQ(simhost_bad_frees(), 0);
    }

    // One turn of the host's main thread, then the run loop's pool drain.
    void run()
    {
        simhost_run_queue();
        macsim::drain_autorelease_pool();
    }

    Line error(t_liveapp *x, const std::string &text) const
    {
        return {SIMHOST_ERROR, x, text};
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
    macsim::add_window("", true);              // no title
    macsim::add_window("Browser", false);      // cannot become main
    macsim::add_window(LIVE_TITLE, true);      // Live's main window
    macsim::add_window("Second Set - Ableton Live", true);
    t_liveapp *x = make();

    simhost::send(x, "getname");
    run();

    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, LIVE_TITLE); // asterisk and marker stay
    EXPECT_EQ(out[0].outlet, LEFT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(MacGetname, KeepsBackslashesAndBlanksInOneSymbol)
{
    macsim::add_window("C:\\Sets\\two words", true);
    t_liveapp *x = make();
    simhost::send(x, "getname");
    run();
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "C:\\Sets\\two words");
    EXPECT_EQ(simhost_sent_argc(0), 0);
}

TEST_F(MacGetname, WorksOutsideLiveToo)
{
    macsim::set_process_name("Max");
    macsim::add_window("Untitled", true);
    t_liveapp *x = make();
    simhost_console_clear();
    simhost::send(x, "getname");
    run();
    ASSERT_EQ(simhost_sent_count(), 1);
    EXPECT_EQ(simhost::sent()[0].selector, "Untitled");
}

TEST_F(MacGetname, WithoutAPassingWindowGetnameAndFrontOnlySayTheyCantFindIt)
{
    // No windows at all, then windows that all fail one of the tests.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            macsim::add_window("", true);
            macsim::add_window("Palette", false);
        }
        macsim::clear_records();
        simhost::reset_records();
        t_liveapp *x = make();
        simhost::send(x, "getname");
        simhost::send(x, "front");
        run();
        EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NO_WINDOW),
                                                  error(x, LIVEAPP_TEXT_NO_WINDOW)}))
            << "round " << round;
        EXPECT_EQ(simhost_sent_count(), 0);
        EXPECT_TRUE(macsim::activations().empty());
        EXPECT_TRUE(macsim::fronted().empty());
        destroy(x);
    }
}

// ---- front ----

using MacFront = Mac;

TEST_F(MacFront, ActivatesIgnoringOtherAppsWhenInactiveThenFrontsTheMainWindow)
{
    macsim::add_window("Palette", false);
    id live = macsim::add_window(LIVE_TITLE, true);
    macsim::set_active(false);
    t_liveapp *x = make();

    simhost::send(x, "front");
    run();

    EXPECT_EQ(macsim::activations(), (std::vector<unsigned long>{2}));
    EXPECT_EQ(macsim::fronted(), (std::vector<id>{live}));
    EXPECT_EQ(macsim::key_window(), live);
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_EQ(simhost_sent_count(), 0);
}

TEST_F(MacFront, DoesNotActivateAnAlreadyActiveApplication)
{
    id live = macsim::add_window(LIVE_TITLE, true);
    macsim::set_active(true);
    t_liveapp *x = make();
    simhost::send(x, "front");
    run();
    EXPECT_TRUE(macsim::activations().empty());
    EXPECT_EQ(macsim::fronted(), (std::vector<id>{live}));
}

// ---- savefocus and recallfocus ----

using MacFocus = Mac;

TEST_F(MacFocus, RecallBringsBackTheWindowThatHadTheFocusWhenSaved)
{
    id live = macsim::add_window(LIVE_TITLE, true);
    id plugin = macsim::add_window("Device", false);
    macsim::set_active(true);
    macsim::set_key_window(plugin);
    t_liveapp *x = make();

    simhost::send(x, "savefocus"); // in place, no queue
    macsim::set_key_window(live);
    macsim::set_active(false); // another application came to the front
    simhost::send(x, "recallfocus");
    run();

    EXPECT_EQ(macsim::activations(), (std::vector<unsigned long>{2}));
    EXPECT_EQ(macsim::fronted(), (std::vector<id>{plugin}));
    EXPECT_EQ(macsim::key_window(), plugin);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(MacFocus, SavefocusWhileInactiveSaysSoAndKeepsTheEarlierWindow)
{
    id first = macsim::add_window(LIVE_TITLE, true);
    id second = macsim::add_window("Other", true);
    macsim::set_active(true);
    macsim::set_key_window(first);
    t_liveapp *x = make();
    simhost::send(x, "savefocus");

    macsim::set_active(false);
    macsim::set_key_window(second);
    simhost::send(x, "savefocus");
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NOT_ACTIVE)}));

    macsim::set_active(true);
    simhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(macsim::activations().empty()); // already active
    EXPECT_EQ(macsim::fronted(), (std::vector<id>{first}));
}

TEST_F(MacFocus, RecallBeforeAnySaveOrAfterSavingNoKeyWindowSaysNothingWasSaved)
{
    macsim::add_window(LIVE_TITLE, true);
    t_liveapp *x = make();
    simhost::send(x, "recallfocus");
    run();
    macsim::set_active(true); // active, but no window is key
    simhost::send(x, "savefocus");
    simhost::send(x, "recallfocus");
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_NOTHING_SAVED),
                                              error(x, LIVEAPP_TEXT_NOTHING_SAVED)}));
    EXPECT_TRUE(macsim::fronted().empty());
    EXPECT_TRUE(macsim::activations().empty());
}

TEST_F(MacFocus, ASavedWindowClosedOrHiddenSinceIsReportedForgottenAndNeverShownAgain)
{
    macsim::add_window(LIVE_TITLE, true);
    id dialog = macsim::add_window("Export", true);
    id palette = macsim::add_window("Palette", false);
    macsim::set_active(true);
    t_liveapp *x = make();

    macsim::set_key_window(dialog);
    simhost::send(x, "savefocus");
    macsim::close_window(dialog); // still listed: the object holds it
    EXPECT_FALSE(macsim::deallocated(dialog));
    simhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(macsim::deallocated(dialog)); // forgotten, so gone

    macsim::set_key_window(palette);
    simhost::send(x, "savefocus");
    macsim::order_out(palette);
    simhost::send(x, "recallfocus");
    simhost::send(x, "recallfocus");
    run();

    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, LIVEAPP_TEXT_WINDOW_GONE),
                                              error(x, LIVEAPP_TEXT_WINDOW_GONE),
                                              error(x, LIVEAPP_TEXT_NOTHING_SAVED)}));
    EXPECT_TRUE(macsim::fronted().empty());
    EXPECT_FALSE(macsim::visible(palette));
    EXPECT_EQ(macsim::retain_count(palette), 1); // only the application's
}

TEST_F(MacFocus, AMinimisedSavedWindowIsBroughtBackFromTheDock)
{
    id live = macsim::add_window(LIVE_TITLE, true);
    macsim::set_active(true);
    macsim::set_key_window(live);
    t_liveapp *x = make();
    simhost::send(x, "savefocus");
    macsim::miniaturize(live);
    macsim::set_active(false);

    simhost::send(x, "recallfocus");
    run();
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_TRUE(macsim::visible(live));
    EXPECT_EQ(macsim::key_window(), live);
    EXPECT_EQ(macsim::activations(), (std::vector<unsigned long>{2}));
}

TEST_F(MacFocus, TheSavedWindowIsHeldUntilReplacedOrTheObjectIsFreed)
{
    id first = macsim::add_window(LIVE_TITLE, true);
    id second = macsim::add_window("Other", true);
    macsim::set_active(true);
    t_liveapp *x = make();

    macsim::set_key_window(first);
    simhost::send(x, "savefocus");
    EXPECT_EQ(macsim::retain_count(first), 2); // the application's and ours

    macsim::set_key_window(second);
    simhost::send(x, "savefocus");
    EXPECT_EQ(macsim::retain_count(first), 1);
    EXPECT_EQ(macsim::retain_count(second), 2);

    simhost::send(x, "savefocus"); // the same window again
    EXPECT_EQ(macsim::retain_count(second), 2);

    destroy(x);
    EXPECT_EQ(macsim::retain_count(second), 1);
}

// ---- addfile ----

using MacAddfile = Mac;

TEST_F(MacAddfile, AsksTheWorkspaceToOpenTheFileWithThisProcessAndOkFollows)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/My Song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    const char *live = "/Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live";
    macsim::set_process_path(live);
    t_liveapp *x = make();

    simhost::send(x, "addfile", {simhost::sym("My Song.als")});
    run();
    double delayed = simhost_last_clock_delay();

    auto requests = macsim::open_requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].file, folder + "/My Song.als");
    EXPECT_EQ(requests[0].application, "/Applications/Ableton Live 12 Suite.app");
    EXPECT_EQ(simhost_sent_count(), 0); // not before the clock fires

    ASSERT_TRUE(simhost_run_until_sent(1, 2000));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "ok");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_GE(out[0].time - delayed, 1.0);
    EXPECT_TRUE(lines_of(x).empty());
    simhost_clear_search_path();
}

TEST_F(MacAddfile, AMissingFileIsNamedAndErrorIsSent)
{
    t_liveapp *x = make();
    simhost::send(x, "addfile", {simhost::sym("Nowhere.als")});
    run();
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "can't find the file: Nowhere.als")}));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(macsim::open_requests().empty());
}

TEST_F(MacAddfile, NamesTheInnermostBundleOrElseTheExecutableAsItIs)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    const std::vector<std::pair<std::string, std::string>> paths = {
        {"/Apps/Suite.app/Contents/Helpers/Live.app/Contents/MacOS/Live",
         "/Apps/Suite.app/Contents/Helpers/Live.app"},
        {"/opt/live/bin/Live", "/opt/live/bin/Live"},
        {"/Apps/My.application/Live", "/Apps/My.application/Live"}};
    t_liveapp *x = make();
    for (auto &p : paths) {
        macsim::set_process_path(p.first.c_str());
        simhost::send(x, "addfile", {simhost::sym("song.als")});
        run();
    }
    auto requests = macsim::open_requests();
    ASSERT_EQ(requests.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(requests[i].application, paths[i].second);
    simhost_clear_search_path();
}

TEST_F(MacAddfile, AnOpenRequestTheWorkspaceRefusesIsAnError)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    macsim::set_open_result(false);
    t_liveapp *x = make();
    simhost::send(x, "addfile", {simhost::sym("song.als")});
    run();
    run();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "Live was not given the file: song.als")}));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_EQ(simhost_clocks_pending(), 0);
    simhost_clear_search_path();
}

TEST_F(MacAddfile, AnUnavailableProcessPathIsReportedAndErrorIsSent)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    macsim::set_process_path(nullptr);
    t_liveapp *x = make();

    simhost::send(x, "addfile", {simhost::sym("song.als")});
    run();
    run();

    EXPECT_EQ(lines_of(x), (std::vector<Line>{error(x, "error getting process path")}));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(macsim::open_requests().empty());
    EXPECT_EQ(simhost_clocks_pending(), 0);
    simhost_clear_search_path();
}

// ---- bang and the process check ----

TEST_F(Mac, BangDoesNothingAtAll)
{
    macsim::add_window(LIVE_TITLE, true);
    t_liveapp *x = make();
    macsim::clear_records();
    simhost::send(x, "bang");
    run();
    EXPECT_TRUE(lines_of(x).empty());
    EXPECT_EQ(simhost_sent_count(), 0);
    EXPECT_TRUE(macsim::messages().empty());
}

TEST_F(Mac, TheProcessCheckHasThreeOutcomes)
{
    macsim::set_process_name("Live");
    t_liveapp *inside = make();
    EXPECT_EQ(inside->process_state, 1);
    EXPECT_TRUE(lines_of(inside).empty());

    macsim::set_process_name("Max");
    t_liveapp *outside = make();
    EXPECT_EQ(outside->process_state, -1);
    EXPECT_EQ(lines_of(outside),
              (std::vector<Line>{{SIMHOST_WARN, outside,
                                  "we are not in the Live process (it doesn't work "
                                  "in Max / M4L editor)"}}));

    macsim::set_process_name(nullptr);
    t_liveapp *unknown = make();
    EXPECT_EQ(unknown->process_state, -1);
    EXPECT_EQ(lines_of(unknown),
              (std::vector<Line>{error(unknown, "error getting process name")}));
}

TEST_F(Mac, EveryRequestInTurnLeavesNothingBehind)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    id live = macsim::add_window(LIVE_TITLE, true);
    macsim::set_active(true);
    macsim::set_key_window(live);
    long objects_before = macsim::live_objects(); // the window and its title
    t_liveapp *x = make();
    for (int i = 0; i < 3; ++i) {
        for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
            simhost::send(x, m);
        simhost::send(x, "addfile", {simhost::sym("song.als")});
        simhost::send(x, "addfile", {simhost::sym("missing.als")});
        run();
        simhost_run_until_sent(simhost_sent_count() + 2, 2000);
        macsim::drain_autorelease_pool();
    }
    EXPECT_EQ(macsim::open_requests().size(), 3u);
    EXPECT_EQ(macsim::live_objects(), objects_before);
    simhost_clear_search_path();
}

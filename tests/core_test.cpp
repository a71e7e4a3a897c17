// The object front end: registration, instances, dispatch, deferral and the
// way addfile's results reach the right outlet.
#include "fixture.h"
#include "appkit.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using maxhost::Line;

namespace {

const int LEFT = 0, RIGHT = 1;

// Each test starts from a fresh stand-in AppKit: no windows, the process
// named "Live".
class CoreTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        appkit::reset();
    }
};

std::string temp_folder()
{
    char templ[] = "/tmp/quenbrix-core-XXXXXX";
    return mkdtemp(templ);
}

} // namespace

TEST(Registration, RegistersQuenbrixForBoxesWithTheMessageTableInOrder)
{
    load_console();
    t_class *c = maxhost_find_class("quenbrix");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(maxhost_class_registered("box", "quenbrix"));
    EXPECT_EQ(c, liveapp_class);

    const std::vector<std::pair<std::string, int>> table = {
        {"bang", A_NOTHING},      {"getname", A_NOTHING}, {"front", A_NOTHING},
        {"savefocus", A_NOTHING}, {"recallfocus", A_NOTHING},
        {"addfile", A_GIMME},     {"assist", A_CANT},     {"dblclick", A_CANT}};
    ASSERT_EQ(maxhost_method_count(c), (int)table.size());
    for (int i = 0; i < (int)table.size(); ++i) {
        EXPECT_EQ(maxhost_method_name(c, i), table[i].first);
        EXPECT_EQ(maxhost_method_argtype(c, i), table[i].second) << table[i].first;
    }
}

TEST(Registration, BangIsUndocumentedAndNothingElseIs)
{
    load_console();
    t_class *c = maxhost_find_class("quenbrix");
    ASSERT_NE(maxhost_method_attr(c, "bang", "undocumented"), nullptr);
    EXPECT_STREQ(maxhost_method_attr(c, "bang", "undocumented"), "1");
    for (const char *m : {"getname", "front", "savefocus", "recallfocus", "addfile"})
        EXPECT_EQ(maxhost_method_attr(c, m, "undocumented"), nullptr) << m;
}

TEST(Registration, LoadingPostsExactlyOneBannerLineWithoutAnObject)
{
    const auto &lines = load_console();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, MAXHOST_POST);
    EXPECT_EQ(lines[0].object, nullptr);
    EXPECT_EQ(lines[0].text.rfind("quenbrix 2022/05/24 ", 0), 0u) << lines[0].text;
    EXPECT_GT(lines[0].text.size(), std::string("quenbrix 2022/05/24 ").size());
}

using Instance = CoreTest;

TEST_F(Instance, IsCreatedWithAnyArgumentsAndHasTwoOutlets)
{
    t_liveapp *x = make({maxhost::num(3), maxhost::sym("extra"), maxhost::real(0.5)});
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(maxhost_outlet_count(x), 2);
    EXPECT_EQ(x->saved_window, nullptr);
    EXPECT_NE(x->clock, nullptr);
}

TEST_F(Instance, CreationFailsQuietlyWhenTheHostHasNoMemory)
{
    maxhost_fail_next_objects(1);
    EXPECT_EQ(make(), nullptr);
    EXPECT_TRUE(maxhost::console().empty());
}

TEST_F(Instance, NameLeavesTheLeftOutletAndResultsTheRightOne)
{
    appkit::add_window("My Set", true);
    t_liveapp *x = make();
    maxhost::send(x, "getname");
    maxhost::send(x, "addfile", {maxhost::sym("no-such-file.als")});
    ASSERT_TRUE(maxhost_run_until_sent(2, 2000));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].outlet, LEFT);
    EXPECT_EQ(out[1].outlet, RIGHT);
    EXPECT_EQ(out[1].selector, "error");
}

TEST_F(Instance, InsideLiveTheStateIsOneAndNothingIsPosted)
{
    appkit::set_process_name("Ableton Live 12 Suite");
    t_liveapp *x = make();
    EXPECT_EQ(x->process_state, 1);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(Instance, OutsideLiveTheStateIsMinusOneWithExactlyOneWarning)
{
    for (const char *name : {"Max", "live", "LIVE", "Olive oil"}) {
        maxhost_console_clear();
        appkit::set_process_name(name);
        t_liveapp *x = make();
        EXPECT_EQ(x->process_state, -1) << name;
        EXPECT_EQ(lines_of(x), (std::vector<Line>{
                                   {MAXHOST_WARN, x,
                                    "we are not in the Live process (it doesn't "
                                    "work in Max / M4L editor)"}}))
            << name;
    }
}

TEST_F(Instance, AnUnavailableProcessNameIsAnErrorNotAWarning)
{
    appkit::set_process_name(nullptr);
    t_liveapp *x = make();
    EXPECT_EQ(x->process_state, -1);
    EXPECT_EQ(lines_of(x),
              (std::vector<Line>{{MAXHOST_ERROR, x, "error getting process name"}}));
}

using Dispatch = CoreTest;

TEST_F(Dispatch, DeferredHalvesNeverRunBeforeTheMethodReturns)
{
    id window = appkit::add_window("My Set", true);
    t_liveapp *x = make();
    for (const char *m : {"getname", "front", "recallfocus"})
        maxhost::send(x, m);
    maxhost::send(x, "addfile");
    EXPECT_EQ(maxhost_sent_count(), 0);
    EXPECT_TRUE(appkit::fronted().empty());
    EXPECT_TRUE(maxhost::console().empty());
    EXPECT_EQ(maxhost_queue_length(), 4);

    maxhost_run_queue();
    EXPECT_EQ(maxhost_sent_count(), 1);                      // the name
    EXPECT_EQ(appkit::fronted(), (std::vector<id>{window})); // front
    EXPECT_EQ(lines_of(x).size(), 2u); // nothing saved, no argument
}

TEST_F(Dispatch, TwoGetnameRequestsRunInOrderAndSendTwoNames)
{
    appkit::add_window("My Set", true);
    t_liveapp *x = make();
    maxhost::send(x, "getname");
    maxhost::send(x, "getname");
    maxhost_run_queue();
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].selector, "My Set");
    EXPECT_EQ(out[1].selector, "My Set");
    EXPECT_TRUE(out[0].on_main_thread && out[1].on_main_thread);
}

TEST_F(Dispatch, AssistNamesTheInletAndBothOutlets)
{
    t_liveapp *x = make();
    EXPECT_EQ(maxhost::assist(x, ASSIST_INLET, 0), "I am inlet 0");
    EXPECT_EQ(maxhost::assist(x, ASSIST_OUTLET, 0), "I am outlet 0");
    EXPECT_EQ(maxhost::assist(x, ASSIST_OUTLET, 1), "I am outlet 1");
}

TEST_F(Dispatch, DoubleClickPostsANote)
{
    t_liveapp *x = make();
    maxhost_dblclick(x);
    EXPECT_EQ(lines_of(x), (std::vector<Line>{{MAXHOST_POST, x, "I got a double-click"}}));
}

TEST_F(Dispatch, MessagesOutsideTheTableAreNotUnderstood)
{
    t_liveapp *x = make();
    EXPECT_EQ(maxhost::send(x, "open"), 0);
    EXPECT_EQ(maxhost::send(x, "assist"), 0); // host-only methods stay private
}

using AddfileResult = CoreTest;

TEST_F(AddfileResult, OkArrivesThroughTheClockAtLeastOneMillisecondLater)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    maxhost_add_search_folder(folder.c_str());
    t_liveapp *x = make();

    maxhost::send(x, "addfile", {maxhost::sym("song.als")});
    maxhost_run_queue();
    double delayed = maxhost_last_clock_delay();
    EXPECT_EQ(maxhost_sent_count(), 0); // not before the clock fires
    ASSERT_TRUE(maxhost_run_until_sent(1, 2000));
    auto out = maxhost::sent();
    EXPECT_EQ(out[0].selector, "ok");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_GE(out[0].time - delayed, 1.0);
    maxhost_clear_search_path();
}

TEST_F(AddfileResult, ErrorArrivesThroughTheQueueWhenTheFileIsMissing)
{
    t_liveapp *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("missing.als")});
    maxhost_run_queue();
    EXPECT_EQ(lines_of(x),
              (std::vector<Line>{{MAXHOST_ERROR, x, "can't find the file: missing.als"}}));
    EXPECT_EQ(maxhost_sent_count(), 0); // still queued behind the error
    maxhost_run_queue();
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
}

// The host's paths hold at most 2,048 bytes: a file found deeper than that
// has no native path, and Live must not be asked to open an empty one.
TEST_F(AddfileResult, AFileWhosePathIsTooLongForTheHostIsAnErrorAndNotHandedOn)
{
    std::string folder = temp_folder();
    std::string deep = folder;
    while (deep.size() < 2100) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    std::ofstream(deep + "/deep.als") << "set";
    maxhost_add_search_folder(deep.c_str());
    t_liveapp *x = make();

    maxhost::send(x, "addfile", {maxhost::sym("deep.als")});
    maxhost_run_queue();
    maxhost_wait_and_run(50);
    EXPECT_EQ(lines_of(x), (std::vector<Line>{{MAXHOST_ERROR, x,
                                               "can't make a native path of the file: "
                                               "deep.als"}}));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(appkit::open_requests().empty());
    EXPECT_EQ(maxhost_clocks_pending(), 0);
    maxhost_clear_search_path();
}

TEST_F(AddfileResult, NoFileArgumentPostsAnErrorAndSendsNothing)
{
    t_liveapp *x = make();
    maxhost::send(x, "addfile");
    maxhost::send(x, "addfile", {maxhost::num(7)});
    maxhost::send(x, "addfile", {maxhost::real(1.5), maxhost::sym("song.als")});
    maxhost_run_queue();
    maxhost_wait_and_run(20);
    Line missing{MAXHOST_ERROR, x, "file argument missing"};
    EXPECT_EQ(lines_of(x), (std::vector<Line>{missing, missing, missing}));
    EXPECT_EQ(maxhost_sent_count(), 0);
}

TEST_F(AddfileResult, NoRequestLeavesAHostAllocationUnfreed)
{
    t_liveapp *x = make();
    for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
        maxhost::send(x, m);
    maxhost::send(x, "addfile", {maxhost::sym("missing.als")});
    maxhost_dblclick(x);
    maxhost::assist(x, ASSIST_INLET, 0);
    maxhost_run_until_sent(2, 2000);
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
    EXPECT_EQ(maxhost_bad_frees(), 0);
}

TEST_F(AddfileResult, AnObjectDeletedWithAResultQueuedSendsNothing)
{
    t_liveapp *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("missing.als")});
    maxhost_run_queue();   // the error is posted and "error" is queued
    destroy(x);
    maxhost_wait_and_run(20);
    EXPECT_EQ(maxhost_sent_count(), 0);
}

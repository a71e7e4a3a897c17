// The object front end: registration, instances, dispatch, deferral and the
// way addfile's results reach the right outlet.
#include "fixture.h"
#include "macsim.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using simhost::Line;

namespace {

const int LEFT = 0, RIGHT = 1;

// Each test starts from a fresh stand-in AppKit: no windows, the process
// named "Live".
class CoreTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        macsim::reset();
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
    t_class *c = simhost_find_class("quenbrix");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(simhost_class_registered("box", "quenbrix"));
    EXPECT_EQ(c, liveapp_class);

    const std::vector<std::pair<std::string, int>> table = {
        {"bang", A_NOTHING},      {"getname", A_NOTHING}, {"front", A_NOTHING},
        {"savefocus", A_NOTHING}, {"recallfocus", A_NOTHING},
        {"addfile", A_GIMME},     {"assist", A_CANT},     {"dblclick", A_CANT}};
    ASSERT_EQ(simhost_method_count(c), (int)table.size());
    for (int i = 0; i < (int)table.size(); ++i) {
        EXPECT_EQ(simhost_method_name(c, i), table[i].first);
        EXPECT_EQ(simhost_method_argtype(c, i), table[i].second) << table[i].first;
    }
}

TEST(Registration, BangIsUndocumentedAndNothingElseIs)
{
    load_console();
    t_class *c = simhost_find_class("quenbrix");
    ASSERT_NE(simhost_method_attr(c, "bang", "undocumented"), nullptr);
    EXPECT_STREQ(simhost_method_attr(c, "bang", "undocumented"), "1");
    for (const char *m : {"getname", "front", "savefocus", "recallfocus", "addfile"})
        EXPECT_EQ(simhost_method_attr(c, m, "undocumented"), nullptr) << m;
}

TEST(Registration, LoadingPostsExactlyOneBannerLineWithoutAnObject)
{
    const auto &lines = load_console();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, SIMHOST_POST);
    EXPECT_EQ(lines[0].object, nullptr);
    EXPECT_EQ(lines[0].text.rfind("quenbrix 2022/05/24 ", 0), 0u) << lines[0].text;
    EXPECT_GT(lines[0].text.size(), std::string("quenbrix 2022/05/24 ").size());
}

using Instance = CoreTest;

TEST_F(Instance, IsCreatedWithAnyArgumentsAndHasTwoOutlets)
{
    t_liveapp *x = make({simhost::num(3), simhost::sym("extra"), simhost::real(0.5)});
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(simhost_outlet_count(x), 2);
    EXPECT_EQ(x->saved_window, nullptr);
    EXPECT_NE(x->clock, nullptr);
}

TEST_F(Instance, CreationFailsQuietlyWhenTheHostHasNoMemory)
{
    simhost_fail_next_objects(1);
    EXPECT_EQ(make(), nullptr);
    EXPECT_TRUE(simhost::console().empty());
}

TEST_F(Instance, NameLeavesTheLeftOutletAndResultsTheRightOne)
{
    macsim::add_window("My Set", true);
    t_liveapp *x = make();
    simhost::send(x, "getname");
    simhost::send(x, "addfile", {simhost::sym("no-such-file.als")});
    ASSERT_TRUE(simhost_run_until_sent(2, 2000));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].outlet, LEFT);
    EXPECT_EQ(out[1].outlet, RIGHT);
    EXPECT_EQ(out[1].selector, "error");
}

TEST_F(Instance, InsideLiveTheStateIsOneAndNothingIsPosted)
{
    macsim::set_process_name("Ableton Live 12 Suite");
    t_liveapp *x = make();
    EXPECT_EQ(x->process_state, 1);
    EXPECT_TRUE(lines_of(x).empty());
}

TEST_F(Instance, OutsideLiveTheStateIsMinusOneWithExactlyOneWarning)
{
    for (const char *name : {"Max", "live", "LIVE", "Olive oil"}) {
        simhost_console_clear();
        macsim::set_process_name(name);
        t_liveapp *x = make();
        EXPECT_EQ(x->process_state, -1) << name;
        EXPECT_EQ(lines_of(x), (std::vector<Line>{
                                   {SIMHOST_WARN, x,
                                    "we are not in the Live process (it doesn't "
                                    "work in Max / M4L editor)"}}))
            << name;
    }
}

TEST_F(Instance, AnUnavailableProcessNameIsAnErrorNotAWarning)
{
    macsim::set_process_name(nullptr);
    t_liveapp *x = make();
    EXPECT_EQ(x->process_state, -1);
    EXPECT_EQ(lines_of(x),
              (std::vector<Line>{{SIMHOST_ERROR, x, "error getting process name"}}));
}

using Dispatch = CoreTest;

TEST_F(Dispatch, DeferredHalvesNeverRunBeforeTheMethodReturns)
{
    id window = macsim::add_window("My Set", true);
    t_liveapp *x = make();
    for (const char *m : {"getname", "front", "recallfocus"})
        simhost::send(x, m);
    simhost::send(x, "addfile");
    EXPECT_EQ(simhost_sent_count(), 0);
    EXPECT_TRUE(macsim::fronted().empty());
    EXPECT_TRUE(simhost::console().empty());
    EXPECT_EQ(simhost_queue_length(), 4);

    simhost_run_queue();
    EXPECT_EQ(simhost_sent_count(), 1);                      // the name
    EXPECT_EQ(macsim::fronted(), (std::vector<id>{window})); // front
    EXPECT_EQ(lines_of(x).size(), 2u); // nothing saved, no argument
}

TEST_F(Dispatch, TwoGetnameRequestsRunInOrderAndSendTwoNames)
{
    macsim::add_window("My Set", true);
    t_liveapp *x = make();
    simhost::send(x, "getname");
    simhost::send(x, "getname");
    simhost_run_queue();
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].selector, "My Set");
    EXPECT_EQ(out[1].selector, "My Set");
    EXPECT_TRUE(out[0].on_main_thread && out[1].on_main_thread);
}

TEST_F(Dispatch, AssistNamesTheInletAndBothOutlets)
{
    t_liveapp *x = make();
    EXPECT_EQ(simhost::assist(x, ASSIST_INLET, 0), "I am inlet 0");
    EXPECT_EQ(simhost::assist(x, ASSIST_OUTLET, 0), "I am outlet 0");
    EXPECT_EQ(simhost::assist(x, ASSIST_OUTLET, 1), "I am outlet 1");
}

TEST_F(Dispatch, DoubleClickPostsANote)
{
    t_liveapp *x = make();
    simhost_dblclick(x);
    EXPECT_EQ(lines_of(x), (std::vector<Line>{{SIMHOST_POST, x, "I got a double-click"}}));
}

TEST_F(Dispatch, MessagesOutsideTheTableAreNotUnderstood)
{
    t_liveapp *x = make();
    EXPECT_EQ(simhost::send(x, "open"), 0);
    EXPECT_EQ(simhost::send(x, "assist"), 0); // host-only methods stay private
}

using AddfileResult = CoreTest;

TEST_F(AddfileResult, OkArrivesThroughTheClockAtLeastOneMillisecondLater)
{
    std::string folder = temp_folder();
    std::ofstream(folder + "/song.als") << "set";
    simhost_add_search_folder(folder.c_str());
    t_liveapp *x = make();

    simhost::send(x, "addfile", {simhost::sym("song.als")});
    simhost_run_queue();
    double delayed = simhost_last_clock_delay();
    EXPECT_EQ(simhost_sent_count(), 0); // not before the clock fires
    ASSERT_TRUE(simhost_run_until_sent(1, 2000));
    auto out = simhost::sent();
    EXPECT_EQ(out[0].selector, "ok");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(out[0].on_main_thread);
    EXPECT_GE(out[0].time - delayed, 1.0);
    simhost_clear_search_path();
}

TEST_F(AddfileResult, ErrorArrivesThroughTheQueueWhenTheFileIsMissing)
{
    t_liveapp *x = make();
    simhost::send(x, "addfile", {simhost::sym("missing.als")});
    simhost_run_queue();
    EXPECT_EQ(lines_of(x),
              (std::vector<Line>{{SIMHOST_ERROR, x, "can't find the file: missing.als"}}));
    EXPECT_EQ(simhost_sent_count(), 0); // still queued behind the error
    simhost_run_queue();
    auto out = simhost::sent();
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
    simhost_add_search_folder(deep.c_str());
    t_liveapp *x = make();

    simhost::send(x, "addfile", {simhost::sym("deep.als")});
    simhost_run_queue();
    simhost_wait_and_run(50);
    EXPECT_EQ(lines_of(x), (std::vector<Line>{{SIMHOST_ERROR, x,
                                               "can't make a native path of the file: "
                                               "deep.als"}}));
    auto out = simhost::sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].selector, "error");
    EXPECT_EQ(out[0].outlet, RIGHT);
    EXPECT_TRUE(macsim::open_requests().empty());
    EXPECT_EQ(simhost_clocks_pending(), 0);
    simhost_clear_search_path();
}

TEST_F(AddfileResult, NoFileArgumentPostsAnErrorAndSendsNothing)
{
    t_liveapp *x = make();
    simhost::send(x, "addfile");
    simhost::send(x, "addfile", {simhost::num(7)});
    simhost::send(x, "addfile", {simhost::real(1.5), simhost::sym("song.als")});
    simhost_run_queue();
    simhost_wait_and_run(20);
    Line missing{SIMHOST_ERROR, x, "file argument missing"};
    EXPECT_EQ(lines_of(x), (std::vector<Line>{missing, missing, missing}));
    EXPECT_EQ(simhost_sent_count(), 0);
}

TEST_F(AddfileResult, NoRequestLeavesAHostAllocationUnfreed)
{
    t_liveapp *x = make();
    for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
        simhost::send(x, m);
    simhost::send(x, "addfile", {simhost::sym("missing.als")});
    simhost_dblclick(x);
    simhost::assist(x, ASSIST_INLET, 0);
    simhost_run_until_sent(2, 2000);
    EXPECT_EQ(simhost_live_allocations(), allocations_before_);
    EXPECT_EQ(simhost_bad_frees(), 0);
}

TEST_F(AddfileResult, AnObjectDeletedWithAResultQueuedSendsNothing)
{
    t_liveapp *x = make();
    simhost::send(x, "addfile", {simhost::sym("missing.als")});
    simhost_run_queue();   // the error is posted and "error" is queued
    destroy(x);
    simhost_wait_and_run(20);
    EXPECT_EQ(simhost_sent_count(), 0);
}

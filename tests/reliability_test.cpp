// The object under load, with objects deleted while work is in flight, and
// with bad input to every message. Each test is bounded and ends by itself.
#include "fixture.h"
#include "appkit.h"
#include "liveapp_texts.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

using maxhost::Line;

namespace {

class Reliability : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        appkit::reset();
        char templ[] = "/tmp/quenbrix-load-XXXXXX";
        folder_ = mkdtemp(templ);
        maxhost_add_search_folder(folder_.c_str());
        stale_ = maxhost_stale_calls_run();
        dropped_ = maxhost_dropped_calls();
        refused_ = maxhost_refused_calls();
    }

    // The figures of docs/testing.md: what the test did, and what the host
    // did with the calls still queued for the objects it deleted.
    void figures(const std::string &what)
    {
        std::printf("[ figures  ] host model %s: %s; calls for freed objects: %ld run, "
                    "%ld dropped, %ld refused\n",
                    maxhost_freed_calls(), what.c_str(), maxhost_stale_calls_run() - stale_,
                    maxhost_dropped_calls() - dropped_, maxhost_refused_calls() - refused_);
    }

    // Every call the object queues goes to its courier, never to itself:
    // whatever the host model, none reaches a freed object.
    void expect_no_call_for_a_freed_object()
    {
        EXPECT_EQ(maxhost_stale_calls_run(), stale_) << "calls run for a freed object";
        EXPECT_EQ(maxhost_dropped_calls(), dropped_) << "calls dropped with a freed object";
        EXPECT_EQ(maxhost_refused_calls(), refused_) << "calls addressed to no object";
    }

    void TearDown() override
    {
        HostTest::TearDown();
        maxhost_clear_search_path();
        appkit::drain_autorelease_pool();
    }

    void add_file(const std::string &name)
    {
        std::ofstream(folder_ + "/" + name) << "set";
    }

    // Runs the main thread until the queue and the clocks have been quiet
    // for a while, or the time is up.
    void settle(long timeout_ms = 5000)
    {
        double deadline = maxhost_now() + timeout_ms;
        while (maxhost_now() < deadline) {
            if (maxhost_wait_and_run(30) == 0 && maxhost_queue_length() == 0 &&
                maxhost_clocks_pending() == 0 && maxhost_wait_and_run(30) == 0)
                return;
        }
        FAIL() << "the object kept working past the time limit";
    }

    std::string folder_;
    long stale_ = 0, dropped_ = 0, refused_ = 0;
};

} // namespace

TEST_F(Reliability, TenThousandGetnameRequestsAreAllAnsweredInOrderWithNothingLeaked)
{
    appkit::add_window("My Set");
    t_liveapp *a = make(), *b = make();
    long objects_before = appkit::live_objects();
    for (int i = 0; i < 5000; ++i) {
        maxhost::send(a, "getname");
        maxhost::send(b, "getname");
    }
    ASSERT_TRUE(maxhost_run_until_sent(10000, 20000));
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 10000u);
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i].object, i % 2 ? (void *)b : (void *)a) << "answer " << i;
        ASSERT_EQ(out[i].selector, "My Set");
        ASSERT_TRUE(out[i].on_main_thread);
    }
    appkit::drain_autorelease_pool();
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
    EXPECT_EQ(appkit::live_objects(), objects_before);
}

TEST_F(Reliability, AddfileRequestsFinishingTogetherEachGetTheirOk)
{
    add_file("a.als");
    add_file("b.als");
    t_liveapp *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("a.als")});
    maxhost::send(x, "addfile", {maxhost::sym("b.als")});
    maxhost::send(x, "addfile", {maxhost::sym("a.als")});
    settle();
    auto out = maxhost::sent();
    ASSERT_EQ(out.size(), 3u);
    for (auto &m : out)
        EXPECT_EQ(m.selector, "ok");
    EXPECT_EQ(appkit::open_requests().size(), 3u);
}

TEST_F(Reliability, TwoHundredAddfilesInFlightWithObjectsDeletedMidwaySendNothingAfterwards)
{
    add_file("here.als");
    const int kObjects = 20, kEach = 10;
    std::vector<t_liveapp *> objs;
    for (int i = 0; i < kObjects; ++i)
        objs.push_back(make());
    for (int round = 0; round < kEach; ++round)
        for (t_liveapp *x : objs)
            maxhost::send(x, "addfile",
                          {maxhost::sym(round % 2 ? "here.als" : "gone.als")});

    // A third is deleted with every request still queued, a third once the
    // requests have run and their results wait on the clock or the queue.
    std::map<void *, double> deleted_at;
    for (int i = 0; i < kObjects; i += 3) {
        deleted_at[objs[i]] = maxhost_now();
        destroy(objs[i]);
    }
    maxhost_run_queue();
    for (int i = 1; i < kObjects; i += 3) {
        deleted_at[objs[i]] = maxhost_now();
        destroy(objs[i]);
    }
    settle();

    std::map<void *, std::vector<std::string>> results;
    for (auto &m : maxhost::sent()) {
        auto gone = deleted_at.find(m.object);
        ASSERT_TRUE(gone == deleted_at.end() || m.time < gone->second)
            << "a deleted object sent " << m.selector;
        results[m.object].push_back(m.selector);
    }
    for (int i = 2; i < kObjects; i += 3) {
        auto &r = results[objs[i]];
        EXPECT_EQ(std::count(r.begin(), r.end(), "ok"), kEach / 2);
        EXPECT_EQ(std::count(r.begin(), r.end(), "error"), kEach / 2);
    }
    EXPECT_EQ(maxhost_bad_frees(), 0);
    figures("200 addfile requests held, 14 of 20 objects deleted at two stages");
    expect_no_call_for_a_freed_object();
}

TEST_F(Reliability, BadInputToEveryMessageIsRefusedClearlyAndNeverHarms)
{
    std::string long_name(4000, 'n');
    std::string blanks = "   ";
    std::string accents = "Caf\xC3\xA9 \xE2\x99\xAB Set.als";
    add_file(accents);
    add_file("My Set  with  blanks.als");
    appkit::add_window(std::string(30000, 'T').c_str());
    t_liveapp *x = make();

    const std::vector<std::vector<t_atom>> junk = {
        {},
        {maxhost::num(42)},
        {maxhost::real(-1.5)},
        {maxhost::num(1), maxhost::sym("song.als"), maxhost::real(2)},
        {maxhost::sym("")},
        {maxhost::sym(long_name.c_str())},
        {maxhost::sym(blanks.c_str())},
    };
    for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
        for (auto &args : junk)
            maxhost::send(x, m, args);
    settle();
    for (auto &m : maxhost::sent())
        EXPECT_EQ(m.selector, std::string(30000, 'T')); // getname, title whole
    maxhost::reset_records();

    for (auto &args : junk)
        maxhost::send(x, "addfile", args);
    settle();
    std::vector<std::string> errors;
    for (auto &l : lines_of(x)) {
        EXPECT_EQ(l.kind, MAXHOST_ERROR);
        errors.push_back(l.text);
    }
    const std::string missing = "file argument missing";
    EXPECT_EQ(errors, (std::vector<std::string>{
                          missing, missing, missing, missing,
                          "can't find the file: ", "can't find the file: " + long_name,
                          "can't find the file: " + blanks}));
    EXPECT_EQ(maxhost_sent_count(), 3); // "error" for the three names only
    maxhost::reset_records();

    maxhost::send(x, "addfile", {maxhost::sym(accents.c_str())});
    maxhost::send(x, "addfile", {maxhost::sym("My Set  with  blanks.als")});
    settle();
    ASSERT_EQ(appkit::open_requests().size(), 2u);
    EXPECT_EQ(appkit::open_requests()[0].file, folder_ + "/" + accents);
    EXPECT_EQ(appkit::open_requests()[1].file, folder_ + "/My Set  with  blanks.als");
    EXPECT_EQ(maxhost_sent_count(), 2);
    appkit::drain_autorelease_pool();
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

// Whatever the host does with calls still queued for a freed object (run
// them with the freed pointer, drop them, or refuse them at the door: see
// MAXHOST_FREED_CALLS), an object deleted at any stage of any request sends
// and posts nothing afterwards, reads none of its freed memory (its pages
// are unreadable), and leaves nothing behind.
TEST_F(Reliability, ObjectsDeletedAtEveryStageOfEveryRequestStaySilent)
{
    add_file("here.als");
    id live = appkit::add_window("My Set");
    id other = appkit::add_window("Device", false);
    appkit::set_active(true);
    appkit::set_key_window(live);
    long refused_before = maxhost_refused_calls();
    std::vector<void *> deleted;
    auto kill = [&](t_liveapp *x) {
        deleted.push_back(x);
        destroy(x);
    };

    // Requests queued on the main thread, and from the scheduler thread as
    // a metro would, then the object deleted before the queue runs.
    for (const char *m : {"getname", "front", "recallfocus", "savefocus"}) {
        t_liveapp *x = make(), *y = make();
        maxhost::send(x, m);
        std::thread([&] { maxhost::send(y, m); }).join();
        maxhost::send(x, "addfile", {maxhost::sym("here.als")});
        kill(x);
        kill(y);
        settle();
    }
    // "ok" queued by the clock, "error" queued after the failed search, a
    // window release queued by savefocus from another thread: each waits
    // in the queue when the object goes.
    t_liveapp *ok = make(), *error = make(), *saver = make();
    maxhost::send(ok, "addfile", {maxhost::sym("here.als")});
    maxhost::send(error, "addfile", {maxhost::sym("gone.als")});
    maxhost_run_queue();
    std::thread([&] { maxhost::send(saver, "savefocus"); }).join();
    appkit::set_key_window(other);
    std::thread([&] { maxhost::send(saver, "savefocus"); }).join(); // retires `live`
    double deadline = maxhost_now() + 2000;
    while (maxhost_clocks_pending() > 0 && maxhost_now() < deadline)
        usleep(1000);
    EXPECT_EQ(maxhost_queue_length(), 3); // ok, error, the release
    maxhost_console_clear();
    kill(ok);
    kill(error);
    kill(saver);
    settle();

    for (auto &m : maxhost::sent())
        EXPECT_EQ(std::count(deleted.begin(), deleted.end(), m.object), 0)
            << "a deleted object sent " << m.selector;
    for (auto &l : maxhost::console())
        EXPECT_EQ(std::count(deleted.begin(), deleted.end(), l.object), 0)
            << "a deleted object posted " << l.text;
    figures(std::to_string(deleted.size()) +
            " objects deleted with requests queued from two threads, or with ok, error "
            "or a window release queued");
    EXPECT_EQ(maxhost_refused_calls(), refused_before) << "a call was addressed to no object";
    expect_no_call_for_a_freed_object();
    appkit::drain_autorelease_pool();
    EXPECT_EQ(appkit::retain_count(live), 1);
    EXPECT_EQ(appkit::retain_count(other), 1);
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

// A host's allocator may give a new object the address of one just freed.
// Calls queued for the old one must not act for the new one.
TEST_F(Reliability, ANewObjectAtAFreedObjectsAddressGetsNoneOfItsQueuedCalls)
{
    add_file("here.als");
    appkit::add_window("My Set");
    maxhost_reuse_freed_memory(1);
    t_liveapp *old = make();
    maxhost::send(old, "getname");
    maxhost::send(old, "addfile", {maxhost::sym("gone.als")});
    destroy(old);
    t_liveapp *reborn = make();
    maxhost_reuse_freed_memory(0);
    ASSERT_EQ((void *)reborn, (void *)old) << "the stand-in did not reuse the address";
    settle();
    EXPECT_EQ(maxhost_sent_count(), 0);
    EXPECT_TRUE(lines_of(reborn).empty());

    maxhost::send(reborn, "getname");
    settle();
    EXPECT_EQ(maxhost_sent_count(), 1); // and it works for itself
}

// savefocus as a metro drives it, from the scheduler thread, changing the
// key window between saves, while the main thread recalls the window and
// deletes objects, every other round also the one being saved to: AppKit
// sees only reads from the other thread, every window is released on the
// main thread, and nothing is left over (the fixture checks the host's
// allocations).
TEST_F(Reliability, SavefocusFromAnotherThreadWhileTheMainThreadRecallsAndDeletesIsSafe)
{
    id a = appkit::add_window("My Set", true);
    id b = appkit::add_window("Device", false);
    appkit::set_active(true);
    appkit::set_key_window(a);
    appkit::clear_records();
    const int kRounds = 30, kSaves = 200;
    for (int round = 0; round < kRounds; ++round) {
        t_liveapp *x = make();
        std::atomic<int> saved{0};
        std::thread scheduler([&] {
            for (int i = 0; i < kSaves; ++i) {
                appkit::set_key_window(i % 3 ? a : b);
                maxhost::send(x, "savefocus"); // refused by the host once x is gone
                ++saved;
            }
        });
        bool deleted = false;
        while (saved < kSaves) {
            appkit::set_key_window(round % 2 ? a : b);
            maxhost::send(x, "recallfocus");
            t_liveapp *other = make();
            maxhost::send(other, "savefocus");
            destroy(other);
            if (round % 2 && !deleted && saved > kSaves / 4) {
                destroy(x); // while savefocus runs on the other thread
                deleted = true;
            }
            maxhost_run_queue();
            appkit::drain_autorelease_pool();
        }
        scheduler.join();
        if (!deleted) {
            maxhost::send(x, "recallfocus");
            destroy(x); // with window releases still queued
        }
        settle();
    }
    appkit::drain_autorelease_pool();
    EXPECT_EQ(appkit::retain_count(a), 1);
    EXPECT_EQ(appkit::retain_count(b), 1);
    for (const std::string &m : appkit::messages_off_main())
        EXPECT_TRUE(m == "sharedApplication" || m == "isActive" || m == "keyWindow" ||
                    m == "retain" || m == "isMainThread")
            << m << " sent from the scheduler thread";
    EXPECT_FALSE(appkit::messages_off_main().empty());
    expect_no_call_for_a_freed_object();
}

// Any number of savefocus calls made on another thread before the main
// thread runs are each kept: the last key window is the one saved, and
// every window replaced meanwhile is released, once.
TEST_F(Reliability, NoSavefocusFromAnotherThreadIsDroppedHoweverFarBehindTheMainThreadIs)
{
    std::vector<id> windows;
    for (int i = 0; i < 20; ++i)
        windows.push_back(appkit::add_window(("Window " + std::to_string(i)).c_str()));
    appkit::set_active(true);
    t_liveapp *x = make();
    std::thread([&] {
        for (id w : windows) {
            appkit::set_key_window(w);
            maxhost::send(x, "savefocus");
        }
    }).join();
    appkit::set_key_window(windows[0]);
    maxhost::send(x, "recallfocus");
    settle();
    appkit::drain_autorelease_pool();
    EXPECT_EQ(appkit::key_window(), windows.back());
    EXPECT_TRUE(lines_of(x).empty());
    for (size_t i = 0; i + 1 < windows.size(); ++i)
        EXPECT_EQ(appkit::retain_count(windows[i]), 1) << "window " << i;
    EXPECT_EQ(appkit::retain_count(windows.back()), 2); // the application's and ours
    destroy(x);
    EXPECT_EQ(appkit::retain_count(windows.back()), 1);
}

// A savefocus on another thread that lands while the object is being freed
// (here: right as the freeing lets go of the saved window) keeps nothing.
TEST_F(Reliability, SavefocusLandingWhileTheObjectIsFreedLeavesRetainCountsEven)
{
    id first = appkit::add_window("My Set", true);
    id second = appkit::add_window("Device", true);
    appkit::set_active(true);
    appkit::set_key_window(first);
    t_liveapp *x = make();
    maxhost::send(x, "savefocus");
    appkit::set_key_window(second);
    bool landed = false;
    appkit::on_release(first, [&] {
        std::thread([&] { landed = maxhost::send(x, "savefocus") == 1; }).join();
    });
    destroy(x);
    ASSERT_TRUE(landed) << "the savefocus did not reach the object while it was freed";
    settle();
    appkit::drain_autorelease_pool();
    EXPECT_EQ(appkit::retain_count(first), 1);
    EXPECT_EQ(appkit::retain_count(second), 1);
    expect_no_call_for_a_freed_object();
}

// recallfocus forgets a saved window that has gone, unless a savefocus on
// another thread has saved another one meanwhile: here it does so right as
// recallfocus reports the window gone.
TEST_F(Reliability, RecallfocusForgettingAGoneWindowKeepsOneSavedMeanwhileOnAnotherThread)
{
    id gone = appkit::add_window("Export", true);
    id next = appkit::add_window("My Set", true);
    appkit::set_active(true);
    appkit::set_key_window(gone);
    t_liveapp *x = make();
    maxhost::send(x, "savefocus");
    appkit::close_window(gone);
    appkit::set_key_window(next);
    struct Race {
        t_liveapp *x;
        int saves;
    } race{x, 0};
    maxhost_on_post(
        [](void *arg, void *, const char *text) {
            Race *r = (Race *)arg;
            if (std::string(text) == LIVEAPP_TEXT_WINDOW_GONE && r->saves++ == 0)
                std::thread([r] { maxhost::send(r->x, "savefocus"); }).join();
        },
        &race);
    maxhost::send(x, "recallfocus");
    settle();
    maxhost_on_post(nullptr, nullptr);
    ASSERT_EQ(race.saves, 1);
    appkit::set_key_window(nullptr);
    maxhost::send(x, "recallfocus");
    settle();
    appkit::drain_autorelease_pool();
    EXPECT_EQ(lines_of(x), (std::vector<Line>{{MAXHOST_ERROR, x, LIVEAPP_TEXT_WINDOW_GONE}}));
    EXPECT_EQ(appkit::key_window(), next);
    EXPECT_TRUE(appkit::deallocated(gone));
    EXPECT_EQ(appkit::retain_count(next), 2);
}

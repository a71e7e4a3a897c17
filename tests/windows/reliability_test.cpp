// The real plug-in under load, with objects deleted while hand-offs are in
// flight, and with bad input to every message and to Live's main window.
// Each test is bounded in time and ends by itself.
#include "wintest.h"

#include "liveapp_texts.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace {

bool valid_utf8(const std::string &text)
{
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(),
                               nullptr, 0) > 0 ||
           text.empty();
}

// Runs the host's queue, pumping window messages, until nothing is queued
// and no clock is due: what the requests do on the main thread is then done,
// however long this machine took for it.
void settle()
{
    do
        livewin_run_for(0);
    while (maxhost_queue_length() > 0 || maxhost_clocks_pending() > 0);
}

// Runs the host until `done` holds, or `limit_ms` has passed.
template <class Done> bool run_until(Done done, double limit_ms)
{
    double deadline = maxhost_now() + limit_ms;
    while (!done()) {
        if (maxhost_now() >= deadline)
            return false;
        livewin_run_for(20);
    }
    return true;
}

// The longest one hand-off may take by its own rules once its start is
// made: 10 s waiting for the start to end, then 700 ms.
const double kHandoffMs = 10700;

// Until the requests sent have started their workers, the host's threads
// are back to `threads`, and the workers' outcomes have left the outlets.
bool workers_done(int threads, double limit_ms)
{
    settle();
    bool ended = run_until([&] { return maxhost_live_threads() <= threads; }, limit_ms);
    settle();
    return ended;
}

// The console text of a file that the search path does not hold.
std::string not_found(const std::string &file)
{
    std::string text = LIVEAPP_TEXT_FILE_NOT_FOUND;
    return text.replace(text.find("%s"), 2, file);
}

} // namespace

class Reliability : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        folder_ = test_folder("reliability sets");
        // A folder per test: a late second start of one test writes nothing
        // into the next one's record.
        opened_ = test_folder(std::string("opened ") +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                  "\\opened.txt";
        maxhost_clear_search_path();
        maxhost_add_search_folder(folder_.c_str());
        set_env("QUENBRIX_OPENED", opened_);
        set_env("QUENBRIX_OPEN_DELAY_MS", "");
        set_env("QUENBRIX_SLOW_FILE", "");
        set_env("QUENBRIX_OPEN_GATE", "");
        threads_before_ = maxhost_live_threads();
    }

    // How long one start of the host with a file takes now: the work every
    // hand-off waits on, measured under the load of this moment.
    double one_start_ms()
    {
        set_env("QUENBRIX_OPENED", "");
        std::wstring line = L"\"" + livewin_utf16(livewin_exe_path()) + L"\" \"probe.als\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        double begun = maxhost_now();
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &started)) {
            WaitForSingleObject(started.hProcess, INFINITE);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
        set_env("QUENBRIX_OPENED", opened_);
        return maxhost_now() - begun;
    }
    void TearDown() override
    {
        maxhost_hold_workers(MAXHOST_HOLD_NONE);
        WinTest::TearDown();
        maxhost_clear_search_path();
        set_env("QUENBRIX_OPENED", "");
        set_env("QUENBRIX_OPEN_GATE", "");
    }

    std::string folder_, opened_;
    int threads_before_ = 0;
};

TEST_F(Reliability, TenThousandGetnamesFromTwoObjectsAreAllAnsweredInOrderWithNothingLeaked)
{
    ASSERT_TRUE(window("My Set* - Ableton Live 12 Suite"));
    void *a = make(), *b = make();
    const int kEach = 5000;
    for (int i = 0; i < kEach; ++i) {
        maxhost::send(a, "getname");
        maxhost::send(b, "getname");
    }
    settle();
    std::vector<maxhost::Message> out = maxhost::sent();
    ASSERT_EQ(out.size(), (size_t)(2 * kEach));
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i].object, i % 2 ? b : a) << "answer " << i;
        ASSERT_EQ(out[i].selector, "My Set") << "answer " << i;
        ASSERT_EQ(out[i].outlet, LEFT);
        ASSERT_TRUE(out[i].on_main_thread);
    }
    EXPECT_EQ(maxhost_console_count(), 0);
    EXPECT_EQ(maxhost_bad_frees(), 0);
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

// The workers are held at each point of their way in turn (the stand-in
// host's holds), and a group of objects is deleted at each: with every
// worker still starting Live, after the starts, before the outcomes are
// queued, and with every outcome queued but not yet run. Each step waits
// for all 200 workers to be there, however long this machine takes, so the
// test asks nothing of its speed; its bounds only stop a hang.
TEST_F(Reliability, TwoHundredHandOffsInFlightWithObjectsDeletedMidwayEndCleanly)
{
    make_file(folder_, "here.als");
    const int kObjects = 20, kEach = 10, kAll = kObjects * kEach, kGroups = 5;
    const double kHang = 240000;
    std::vector<void *> objs;
    for (int i = 0; i < kObjects; ++i)
        objs.push_back(make());
    for (int round = 0; round < kEach; ++round)
        for (void *x : objs)
            maxhost::send(x, "addfile", {maxhost::sym("here.als")});
    long stale = maxhost_stale_calls_run(), dropped = maxhost_dropped_calls(),
         refused = maxhost_refused_calls();
    // Live holds every opening until the gate opens, so that all 200 are in
    // flight at once however long the starts take.
    std::wstring gate_name = L"quenbrix-gate-" + std::to_wstring(GetCurrentProcessId());
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, gate_name.c_str());
    ASSERT_TRUE(gate);
    set_env("QUENBRIX_OPEN_GATE", livewin_utf8(gate_name));
    maxhost_hold_workers(MAXHOST_HOLD_SLEEP);
    double started = maxhost_now();
    maxhost_run_queue(); // every request starts its worker
    double pass_ms = maxhost_now() - started;
    EXPECT_EQ(maxhost_live_threads() - threads_before_, kAll)
        << "all 200 hand-offs are in flight at once";
    EXPECT_EQ(maxhost_queue_length(), 0);

    std::map<void *, double> deleted_at;
    auto delete_group = [&](int group) {
        for (int i = group; i < kObjects; i += kGroups) {
            deleted_at[objs[i]] = maxhost_now();
            destroy(objs[i]);
        }
    };
    // Waits, pumping window messages but running nothing of the host's
    // queue, until every worker is held.
    auto all_held = [&] {
        double deadline = maxhost_now() + kHang;
        while (maxhost_held_workers() < kAll && maxhost_now() < deadline) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return maxhost_held_workers() == kAll;
    };
    delete_group(0); // every worker still starting Live
    EXPECT_TRUE(livewin_read_opened(opened_).empty()) << "Live opened a file past the gate";
    SetEvent(gate);
    ASSERT_TRUE(all_held()) << maxhost_held_workers() << " workers came past the start";
    delete_group(1); // every worker done with its start
    maxhost_hold_workers(MAXHOST_HOLD_DEFER);
    ASSERT_TRUE(all_held()) << maxhost_held_workers() << " workers came to their outcome";
    EXPECT_EQ(maxhost_queue_length(), 0);
    delete_group(2); // every worker about to queue its outcome
    maxhost_hold_workers(MAXHOST_HOLD_EXIT);
    ASSERT_TRUE(all_held()) << maxhost_held_workers() << " workers queued their outcome";
    EXPECT_EQ(maxhost_queue_length(), kAll) << "every outcome is queued, none refused";
    delete_group(3); // every outcome queued, not yet run
    maxhost_hold_workers(MAXHOST_HOLD_NONE);

    ASSERT_TRUE(workers_done(threads_before_, kHang))
        << maxhost_live_threads() - threads_before_ << " workers still running";
    double took = maxhost_now() - started;
    set_env("QUENBRIX_OPEN_GATE", "");
    CloseHandle(gate);
    std::printf("[ timing   ] 200 workers started in %.0f ms, all ended after %.0f ms\n",
                pass_ms, took);
    std::printf("[ figures  ] host model %s: 200 hand-offs held at each point, 16 of 20 objects "
                "deleted at four of them; calls for freed objects: %ld run, %ld dropped, "
                "%ld refused\n",
                maxhost_freed_calls(), maxhost_stale_calls_run() - stale,
                maxhost_dropped_calls() - dropped, maxhost_refused_calls() - refused);

    std::map<void *, int> oks;
    for (const maxhost::Message &m : maxhost::sent()) {
        auto gone = deleted_at.find(m.object);
        ASSERT_TRUE(gone == deleted_at.end() || m.time < gone->second)
            << "a deleted object sent " << m.selector;
        EXPECT_EQ(m.selector, LIVEAPP_RESULT_OK);
        EXPECT_EQ(m.outlet, RIGHT);
        EXPECT_TRUE(m.on_main_thread);
        ++oks[m.object];
    }
    for (int i = kGroups - 1; i < kObjects; i += kGroups)
        EXPECT_EQ(oks[objs[i]], kEach) << "survivor " << i;
    for (const maxhost::Line &l : maxhost::console())
        ADD_FAILURE() << "console: " << l.text;
    EXPECT_EQ(maxhost_stale_calls_run(), stale) << "calls run for a freed object";
    EXPECT_EQ(maxhost_dropped_calls(), dropped) << "calls dropped with a freed object";
    EXPECT_EQ(maxhost_refused_calls(), refused) << "calls addressed to no object";
    EXPECT_EQ(maxhost_bad_frees(), 0);
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);

    // Every second start was made; those the 10 s wait gave up on may end
    // later.
    run_until([&] { return livewin_read_opened(opened_).size() >= (size_t)kAll; }, kHang);
    EXPECT_EQ(livewin_read_opened(opened_).size(), (size_t)kAll);
}

TEST_F(Reliability, BadInputToEveryMessageIsRefusedClearlyAndNeverHarms)
{
    std::string long_name(4000, 'n');
    std::string blanks = "   ";
    std::string accents = "Caf\xC3\xA9 \xE2\x99\xAB Set.als";
    std::string with_blanks = "My Set  with  blanks.als";
    std::string accents_path = make_file(folder_, accents);
    std::string blanks_path = make_file(folder_, with_blanks);
    // 30,000 UTF-16 units before the marker, half of them two bytes in UTF-8.
    std::string long_set;
    for (int i = 0; i < 30000; ++i)
        long_set += i % 2 ? "T" : "\xC3\xA9";
    HWND main = window(long_set + "* - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    ASSERT_EQ(GetWindowTextLengthW(main), 30000 + 25);
    void *x = make();

    const std::vector<std::vector<t_atom>> junk = {
        {},
        {maxhost::num(42)},
        {maxhost::real(-1.5)},
        {maxhost::num(1), maxhost::sym("song.als"), maxhost::real(2)},
        {maxhost::sym("")},
        {maxhost::sym(long_name.c_str())},
        {maxhost::sym(blanks.c_str())},
        {maxhost::sym(accents.c_str())},
    };
    for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
        for (const std::vector<t_atom> &args : junk)
            maxhost::send(x, m, args);
    settle();
    std::vector<maxhost::Message> sent = sent_by(x);
    ASSERT_EQ(sent.size(), junk.size()) << "getname answers whatever follows it";
    for (const maxhost::Message &m : sent) {
        EXPECT_EQ(m.outlet, LEFT);
        EXPECT_TRUE(m.selector == long_set) << "the long name arrives whole and intact";
    }
    // The host's own word on arguments a message does not take, and the
    // object's refusals.
    std::vector<std::string> known = {LIVEAPP_TEXT_NO_WINDOW, LIVEAPP_TEXT_NOT_ACTIVE,
                                      LIVEAPP_TEXT_NOTHING_SAVED, LIVEAPP_TEXT_WINDOW_GONE};
    for (const char *m : {"bang", "getname", "front", "savefocus", "recallfocus"})
        known.push_back(std::string(m) + ": extra arguments ignored");
    for (const std::string &e : errors_of(x))
        EXPECT_NE(std::find(known.begin(), known.end(), e), known.end())
            << "unclear refusal: " << e;
    maxhost::reset_records();

    // A lone UTF-16 surrogate in the title: the host's converter makes it
    // U+FFFD, and the name is still valid UTF-8.
    SetWindowTextW(main, L"Song\xD800* - Ableton Live 12");
    maxhost::send(x, "getname");
    settle();
    // A name of blanks only is still a name.
    SetWindowTextW(main, L"   - Ableton Live 12");
    maxhost::send(x, "getname");
    settle();
    // No marker at all: refused with the error, nothing sent.
    SetWindowTextW(main, L"Ableton Live 12 Suite");
    maxhost::send(x, "getname");
    settle();
    sent = sent_by(x);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].selector, "Song\xEF\xBF\xBD");
    EXPECT_TRUE(valid_utf8(sent[0].selector));
    EXPECT_EQ(sent[1].selector, "  ");
    EXPECT_EQ(errors_of(x), std::vector<std::string>{LIVEAPP_TEXT_NO_WINDOW});
    maxhost::reset_records();

    // addfile: junk is refused with the reason; real names with blanks and
    // non-ASCII reach the second start whole. The lookups run on workers side
    // by side, so their errors and outcomes come back in any order: one each.
    double start_ms = one_start_ms();
    for (const std::vector<t_atom> &args : junk)
        maxhost::send(x, "addfile", args);
    maxhost::send(x, "addfile", {maxhost::sym(with_blanks.c_str())});
    EXPECT_TRUE(workers_done(threads_before_, kHandoffMs + 10 * start_ms))
        << "one start took " << start_ms << " ms just before";
    std::vector<std::string> errors;
    for (const maxhost::Line &l : maxhost::console()) {
        EXPECT_EQ(l.kind, MAXHOST_ERROR);
        errors.push_back(l.text);
    }
    const std::string missing = "file argument missing";
    std::vector<std::string> expected_errors = {
        missing, missing, missing, missing, not_found(""), not_found(long_name),
        not_found(blanks)};
    std::sort(errors.begin(), errors.end());
    std::sort(expected_errors.begin(), expected_errors.end());
    EXPECT_EQ(errors, expected_errors);
    std::vector<std::string> outcomes;
    for (const maxhost::Message &m : sent_by(x)) {
        EXPECT_EQ(m.outlet, RIGHT);
        outcomes.push_back(m.selector);
    }
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes, (std::vector<std::string>{LIVEAPP_RESULT_ERROR, LIVEAPP_RESULT_ERROR,
                                                  LIVEAPP_RESULT_ERROR, LIVEAPP_RESULT_OK,
                                                  LIVEAPP_RESULT_OK}));
    std::vector<LivewinOpened> starts = livewin_read_opened(opened_);
    ASSERT_EQ(starts.size(), 2u);
    std::vector<std::vector<std::string>> args = {starts[0].args, starts[1].args};
    std::sort(args.begin(), args.end());
    std::vector<std::vector<std::string>> expected = {{accents_path}, {blanks_path}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(args, expected);

    EXPECT_EQ(maxhost_bad_frees(), 0);
    EXPECT_EQ(maxhost_live_allocations(), allocations_before_);
}

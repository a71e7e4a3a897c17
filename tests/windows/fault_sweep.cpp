// Every call of the real quenbrix.mxe64 that can fail, made to fail in
// turn under Wine: for creation, deletion and each message, a normal run
// first counts the calls that can fail (the host's, and the Win32 calls
// through the stand-ins in the plug-in's import table), then the request
// runs once per use of each, with that use failing. After each trial:
// nothing crashed (freed host memory and objects are inaccessible), host
// memory, threads and the handles the plug-in opened are back where they
// were, the object is either usable or was never made, the failure is named
// on the console or changed nothing, and "ok" left the right outlet only if
// Live's executable was started with the file. The outcomes make the table
// in docs/testing.md, checked here.
#include "wintest.h"

#include "fault_table.h"
#include "imports.h"
#include "liveapp_texts.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

// An object that could not tell which process it is in takes itself for
// one outside Live: its getname refuses. The rest of what it does.
const char *const kOutsideLive = "error: Live process not found (it doesn't work in Max / M4L editor)";

FaultOutcome without_getname(FaultOutcome o)
{
    std::vector<std::string> sent;
    for (const std::string &s : o.sent)
        if (s.rfind("left: ", 0) != 0)
            sent.push_back(s);
    o.sent = sent;
    o.console.erase(std::remove(o.console.begin(), o.console.end(), kOutsideLive),
                    o.console.end());
    return o;
}

// Runs the host's queue, pumping window messages, until nothing is queued
// and no clock is due.
void settle()
{
    do
        livewin_run_for(0);
    while (maxhost_queue_length() > 0 || maxhost_clocks_pending() > 0);
}

// One failing call: the stand-in host's, or a Win32 call of the plug-in.
struct Fault {
    bool host;
    LivewinFault win32;
    std::string label() const { return win32.label(); }
};

std::vector<Fault> all_faults()
{
    std::vector<Fault> out;
    for (int i = 0; i < maxhost_fault_count(); ++i)
        out.push_back({true, {maxhost_fault_name(i), ""}});
    for (const LivewinFault &f : livewin_faults())
        out.push_back({false, f});
    return out;
}

long uses_of(const Fault &f)
{
    return f.host ? maxhost_calls(f.win32.call.c_str()) : livewin_calls(f.win32.call);
}

void reset_counts()
{
    maxhost_calls_reset();
    livewin_calls_reset();
}

long fired()
{
    return maxhost_faults_fired() + livewin_faults_fired();
}

HWND top_window_of(DWORD pid)
{
    struct Find {
        DWORD pid;
        HWND found;
    } find{pid, nullptr};
    EnumWindows(
        [](HWND w, LPARAM param) -> BOOL {
            Find *f = (Find *)param;
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != f->pid || !IsWindowVisible(w))
                return TRUE;
            f->found = w;
            return FALSE;
        },
        (LPARAM)&find);
    return find.found;
}

} // namespace

class FaultSweep : public ::testing::Test {
protected:
    struct World;
    // A request of the sweep: what is made ready first (not counted), and
    // the request itself (counted, and made to fail).
    struct Request {
        const char *name;
        std::function<void(FaultSweep &)> prepare;
        std::function<void(FaultSweep &)> act;
    };

    static void SetUpTestSuite()
    {
        other_ = new OtherApp("", 900);
    }
    static void TearDownTestSuite()
    {
        delete other_;
        other_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(other_->started());
        other_window_ = top_window_of(other_->pid());
        ASSERT_TRUE(other_window_);
        folder_ = test_folder("fault sweep");
        make_file(folder_, "song.als");
        maxhost_clear_search_path();
        maxhost_add_search_folder(folder_.c_str());
        opened_folder_ = test_folder("fault sweep opened");
        main_ = livewin_window("My Set* - Ableton Live 12 Suite");
        dialog_ = livewin_window("Export - Ableton Live 12 Suite", main_);
        ASSERT_TRUE(main_ && dialog_);
    }
    void TearDown() override
    {
        reset_counts();
        DestroyWindow(dialog_);
        DestroyWindow(main_);
        maxhost_clear_search_path();
        set_env("QUENBRIX_OPENED", "");
        livewin_run_for(20);
    }

    std::string role(HWND w) const
    {
        return !w                  ? "none"
               : w == main_        ? "main"
               : w == dialog_      ? "dialog"
               : w == other_window_ ? "other application"
                                   : "another window";
    }

    // The screen as a fresh trial finds it: both of Live's windows shown,
    // Live's main window in front.
    void reset_screen()
    {
        ShowWindow(main_, SW_RESTORE);
        ShowWindow(dialog_, SW_SHOWNOACTIVATE);
        SetForegroundWindow(main_);
        livewin_run_for(20);
    }

    void front(HWND w)
    {
        SetForegroundWindow(w);
        for (int i = 0; i < 50 && GetForegroundWindow() != w; ++i)
            livewin_run_for(10);
    }

    // What the request did; with `screen`, also the windows' state after it.
    FaultOutcome observe(void *x, bool created, bool screen)
    {
        FaultOutcome o = fault_outcome(x, created);
        for (const LivewinOpened &r : livewin_read_opened(opened_))
            for (const std::string &a : r.args)
                o.world.push_back("Live opened " + a);
        if (screen) {
            o.world.push_back("foreground " + role(GetForegroundWindow()));
            o.world.push_back(std::string("main ") + (IsIconic(main_) ? "minimised" : "shown"));
            o.world.push_back(std::string("dialog ") +
                              (IsWindowVisible(dialog_) ? "shown" : "hidden"));
            o.world.push_back("broadcasts " + std::to_string(other_->received() - received_));
        }
        return o;
    }

    // Every start of Live's executable that the plug-in made (each
    // CreateProcessW that worked) has opened its file; and every worker has
    // ended. Waits as long as the object itself may take.
    void wait_for_starts(long started, int threads)
    {
        double deadline = maxhost_now() + 15000;
        while (maxhost_now() < deadline &&
               ((long)livewin_read_opened(opened_).size() < started ||
                maxhost_live_threads() > threads))
            livewin_run_for(20);
        settle();
    }

    FaultOutcome trial(const Request &request, const Fault *fault, long nth, FaultOutcome *probe,
                  std::map<std::string, long> *counts)
    {
        static int serial = 0;
        opened_ = opened_folder_ + "\\opened " + std::to_string(++serial) + ".txt";
        set_env("QUENBRIX_OPENED", opened_);
        reset_screen();
        long allocations = maxhost_live_allocations(), objects = maxhost_live_objects();
        long handles = livewin_open_handles(), refused = maxhost_refused_calls();
        int threads = maxhost_live_threads();
        x_ = nullptr;
        request.prepare(*this);
        settle();
        maxhost::reset_records();
        received_ = other_->received();
        reset_counts();
        if (fault) {
            bool armed = fault->host ? maxhost_fail_call(fault->win32.call.c_str(), nth)
                                     : livewin_fail_call(fault->win32, nth);
            EXPECT_TRUE(armed) << fault->label();
        }
        void *x = x_;
        request.act(*this);
        settle();
        long started = livewin_calls("CreateProcessW") -
                       (fault && fault->win32.call == "CreateProcessW" ? 1 : 0);
        wait_for_starts(started, threads);
        livewin_run_for(std::string(request.name) == "bang" ? 300 : 20);
        bool created = std::string(request.name) != "creation" || x_;
        FaultOutcome o = observe(x_ ? x_ : x, created, true);
        if (fault)
            EXPECT_EQ(fired(), 1) << request.name << ": " << fault->label() << " use " << nth
                                  << " was not made to fail";
        if (counts)
            for (const Fault &f : all_faults())
                (*counts)[f.label()] = uses_of(f);
        reset_counts();

        // "ok" only for a file that Live's executable was started with.
        if (o.sent_right(LIVEAPP_RESULT_OK)) {
            bool asked = false;
            for (const LivewinOpened &r : livewin_read_opened(opened_))
                asked |= r.args == std::vector<std::string>{folder_ + "\\song.als"};
            EXPECT_TRUE(asked) << request.name << ": \"ok\" without a hand-off";
        }

        // The object lives on and works: the probe asks for the name and a file.
        if (probe)
            probe->created = false; // no object to ask
        if (x_ && probe) {
            opened_ = opened_folder_ + "\\opened " + std::to_string(++serial) + ".txt";
            set_env("QUENBRIX_OPENED", opened_);
            maxhost::reset_records();
            maxhost::send(x_, "getname");
            maxhost::send(x_, "addfile", {maxhost::sym("song.als")});
            settle();
            wait_for_starts(1, threads);
            *probe = observe(x_, true, false);
        }
        if (x_)
            maxhost_free_object(x_);
        x_ = nullptr;
        settle();
        EXPECT_EQ(maxhost_live_threads(), threads) << request.name << ": a worker left";
        EXPECT_EQ(maxhost_live_allocations(), allocations) << request.name
                                                            << ": host memory left";
        EXPECT_EQ(maxhost_live_objects(), objects) << request.name << ": an object left";
        EXPECT_EQ(livewin_open_handles(), handles) << request.name << ": a handle left open";
        EXPECT_EQ(maxhost_bad_frees(), 0);
        EXPECT_EQ(maxhost_refused_calls(), refused) << request.name;
        return o;
    }

    static std::vector<Request> requests()
    {
        auto make = [](FaultSweep &t) { t.x_ = maxhost_new_object("quenbrix", 0, nullptr); };
        return {
            {"creation", [](FaultSweep &) {}, make},
            {"deletion, an addfile just sent", make,
             [](FaultSweep &t) {
                 maxhost::send(t.x_, "addfile", {maxhost::sym("song.als")});
                 maxhost_run_queue(); // its worker starts
                 maxhost_free_object(t.x_);
                 t.x_ = nullptr;
             }},
            {"getname", make, [](FaultSweep &t) { maxhost::send(t.x_, "getname"); }},
            {"front, Live minimised",
             [make](FaultSweep &t) {
                 make(t);
                 ShowWindow(t.main_, SW_MINIMIZE);
                 t.front(t.other_window_);
             },
             [](FaultSweep &t) { maxhost::send(t.x_, "front"); }},
            {"front, another application in front",
             [make](FaultSweep &t) {
                 make(t);
                 t.front(t.other_window_);
             },
             [](FaultSweep &t) { maxhost::send(t.x_, "front"); }},
            {"savefocus",
             [make](FaultSweep &t) {
                 make(t);
                 t.front(t.dialog_);
             },
             [](FaultSweep &t) { maxhost::send(t.x_, "savefocus"); }},
            {"recallfocus",
             [make](FaultSweep &t) {
                 make(t);
                 t.front(t.dialog_);
                 maxhost::send(t.x_, "savefocus");
                 t.front(t.main_);
             },
             [](FaultSweep &t) { maxhost::send(t.x_, "recallfocus"); }},
            {"addfile", make,
             [](FaultSweep &t) { maxhost::send(t.x_, "addfile", {maxhost::sym("song.als")}); }},
            {"bang", make, [](FaultSweep &t) { maxhost::send(t.x_, "bang"); }},
        };
    }

    static OtherApp *other_;
    HWND other_window_ = nullptr, main_ = nullptr, dialog_ = nullptr;
    std::string folder_, opened_folder_, opened_;
    int received_ = 0;
    void *x_ = nullptr;
};

OtherApp *FaultSweep::other_ = nullptr;

TEST_F(FaultSweep, EveryCallThatCanFailIsReportedOrHarmlessAndNeverCrashesLeaksOrSaysOkWrongly)
{
    FaultTally tally;
    for (const Request &request : requests()) {
        std::map<std::string, long> counts;
        FaultOutcome normal_probe;
        FaultOutcome normal = trial(request, nullptr, 0, &normal_probe, &counts);
        EXPECT_TRUE(normal.errors().empty()) << request.name << describe(normal);
        bool gone = std::string(request.name).rfind("deletion", 0) == 0;
        for (const Fault &fault : all_faults()) {
            long count = counts[fault.label()];
            for (long nth = 1; nth <= count; ++nth) {
                FaultOutcome probe;
                FaultOutcome o = trial(request, &fault, nth, &probe, nullptr);
                std::string what;
                if (!tally.judge(o, request.name, what)) {
                    if (gone) {
                        // Whatever failed after the object went has nobody to tell.
                        what = "nothing posted or sent: the object is gone";
                        EXPECT_TRUE(o.console.empty() && o.sent.empty()) << describe(o);
                    } else {
                        what = "as without the failure";
                        EXPECT_EQ(o, normal) << request.name << ": " << fault.label()
                                             << " use " << nth << " failed silently";
                    }
                }
                bool outside = std::find(probe.console.begin(), probe.console.end(),
                                         kOutsideLive) != probe.console.end();
                if (outside && std::string(request.name) == "creation" &&
                    o.errors() == "\"can't identify process\"") {
                    what += "; it then works as outside Live (getname refuses)";
                    EXPECT_EQ(without_getname(probe), without_getname(normal_probe));
                } else if (probe.created) {
                    EXPECT_EQ(probe, normal_probe)
                        << request.name << ": " << fault.label() << " use " << nth
                        << ": the object does not work as before afterwards";
                }
                std::printf("[ trial    ] %s | %s | %ld of %ld | %s\n", request.name,
                            fault.label().c_str(), nth, count, what.c_str());
                tally.add(request.name, fault.label(), nth, count, what);
            }
        }
        tally.end_request(request.name);
    }
    tally.print_figures(maxhost_freed_calls());

    const char *source = std::getenv("QUENBRIX_SOURCE_DIR");
    ASSERT_TRUE(source) << "QUENBRIX_SOURCE_DIR names the source tree (as Z:\\...)";
    EXPECT_EQ(fault_section_sync(std::string(source) + "\\docs\\testing.md",
                                 "fault sweep: Windows plug-in", tally.table()),
              "");
    EXPECT_EQ(fault_count_sync(std::string(source) + "\\README.md",
                               " trials on the Windows plug-in", tally.trials),
              "");
}

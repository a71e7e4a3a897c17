// Every call of the macOS file that can fail, made to fail in turn: for
// creation, deletion and each message, a normal run first counts the calls
// that can fail (host, AppKit and the process calls), then the request runs
// once per use of each, with that use failing. After each trial: nothing
// crashed (AddressSanitizer watches every read), no host memory or AppKit
// object is left, the object is either usable or was never made, the
// failure is named on the console or changed nothing, and "ok" left the
// right outlet only if the workspace was asked to open the file with Live.
// The outcomes make the table in docs/testing.md, checked here.
#include "appkit.h"
#include "fault_table.h"
#include "fixture.h"
#include "liveapp_texts.h"

#include <fstream>
#include <functional>
#include <map>
#include <unistd.h>

namespace {

const char *const LIVE_TITLE = "My Set - Ableton Live 12 Suite";
const char *const LIVE_BUNDLE = "/Applications/Ableton Live 12 Suite.app";

// The world every trial starts from: Live's windows, the file to open, the
// process as Live.
struct World {
    std::string folder;
    id palette = nullptr, main = nullptr, dialog = nullptr;
    t_liveapp *x = nullptr;
};

std::string title_of(id window, const World &w)
{
    return window == w.main ? "main" : window == w.dialog ? "dialog"
                                   : window == w.palette  ? "palette"
                                                          : "other";
}

// A request of the sweep: what is made ready first (not counted), and the
// request itself (counted, and made to fail).
struct Request {
    const char *name;
    std::function<void(World &)> prepare;
    std::function<void(World &)> act;
};

void settle()
{
    double deadline = maxhost_now() + 5000;
    while (maxhost_now() < deadline) {
        appkit::drain_autorelease_pool();
        if (maxhost_wait_and_run(5) == 0 && maxhost_queue_length() == 0 &&
            maxhost_clocks_pending() == 0 && maxhost_wait_and_run(5) == 0)
            break;
    }
    appkit::drain_autorelease_pool();
}

t_liveapp *make_object()
{
    return (t_liveapp *)maxhost_new_object("quenbrix", 0, nullptr);
}

const std::vector<Request> &requests()
{
    static const std::vector<Request> list = {
        {"creation", [](World &) {}, [](World &w) { w.x = make_object(); }},
        {"deletion",
         [](World &w) {
             w.x = make_object();
             appkit::set_active(true);
             appkit::set_key_window(w.dialog);
             maxhost::send(w.x, "savefocus");
         },
         [](World &w) {
             maxhost_free_object(w.x);
             w.x = nullptr;
             settle();
         }},
        {"getname", [](World &w) { w.x = make_object(); },
         [](World &w) {
             maxhost::send(w.x, "getname");
             settle();
         }},
        {"front",
         [](World &w) {
             w.x = make_object();
             appkit::set_active(false);
         },
         [](World &w) {
             maxhost::send(w.x, "front");
             settle();
         }},
        {"savefocus",
         [](World &w) {
             w.x = make_object();
             appkit::set_active(true);
             appkit::set_key_window(w.dialog);
         },
         [](World &w) { maxhost::send(w.x, "savefocus"); }},
        {"recallfocus",
         [](World &w) {
             w.x = make_object();
             appkit::set_active(true);
             appkit::set_key_window(w.dialog);
             maxhost::send(w.x, "savefocus");
             appkit::set_key_window(w.main);
             appkit::set_active(false);
         },
         [](World &w) {
             maxhost::send(w.x, "recallfocus");
             settle();
         }},
        {"addfile", [](World &w) { w.x = make_object(); },
         [](World &w) {
             maxhost::send(w.x, "addfile", {maxhost::sym("song.als")});
             settle();
         }},
        {"bang", [](World &w) { w.x = make_object(); },
         [](World &w) {
             maxhost::send(w.x, "bang");
             settle();
         }},
    };
    return list;
}

// One failing call: the layer it belongs to and its name.
struct Fault {
    bool host; // the stand-in host's, else AppKit's or the process calls'
    std::string name;
};

std::vector<Fault> all_faults()
{
    std::vector<Fault> out;
    for (int i = 0; i < maxhost_fault_count(); ++i)
        out.push_back({true, maxhost_fault_name(i)});
    for (const std::string &n : appkit::fault_names())
        out.push_back({false, n});
    return out;
}

long uses_of(const Fault &f)
{
    return f.host ? maxhost_calls(f.name.c_str()) : appkit::calls(f.name);
}

void reset_counts()
{
    maxhost_calls_reset();
    appkit::reset_calls();
}

long fired()
{
    return maxhost_faults_fired() + appkit::faults_fired();
}

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        load_console();
        char templ[] = "/tmp/quenbrix-faults-XXXXXX";
        folder_ = mkdtemp(templ);
        std::ofstream(folder_ + "/song.als") << "a Live Set";
        maxhost_add_search_folder(folder_.c_str());
    }
    void TearDown() override
    {
        maxhost_clear_search_path();
        reset_counts();
        appkit::reset();
    }

    void make_world(World &w)
    {
        appkit::reset();
        appkit::set_process_path((std::string(LIVE_BUNDLE) + "/Contents/MacOS/Live").c_str());
        w.folder = folder_;
        w.palette = appkit::add_window("Palette", false);
        w.main = appkit::add_window(LIVE_TITLE, true);
        w.dialog = appkit::add_window("Export", false); // a panel: never the main window
    }

    // What the request did; with `screen`, also which window is key after it.
    FaultOutcome observe(const World &w, void *x, bool created, bool screen = true) const
    {
        FaultOutcome o = fault_outcome(x, created);
        for (unsigned long a : appkit::activations())
            o.world.push_back("appkit activated with " + std::to_string(a));
        for (id f : appkit::fronted())
            o.world.push_back("appkit fronted " + title_of(f, w));
        for (const appkit::OpenRequest &r : appkit::open_requests())
            o.world.push_back("appkit opened " + r.file + " with " + r.application);
        if (screen)
            o.world.push_back(std::string("appkit key ") +
                              (appkit::key_window() ? title_of(appkit::key_window(), w)
                                                    : "none"));
        return o;
    }

    // Runs `request` once, with `fault` failing on its `nth` use when given.
    // Checks what every trial must show, and returns what the request did
    // and, when the object lives on, what it did with the probe.
    FaultOutcome trial(const Request &request, const Fault *fault, long nth, FaultOutcome *probe,
                  std::map<std::string, long> *counts)
    {
        World w;
        make_world(w);
        long allocations = maxhost_live_allocations(), objects = maxhost_live_objects();
        long refused = maxhost_refused_calls();
        request.prepare(w);
        settle();
        maxhost::reset_records();
        appkit::clear_records();
        reset_counts();
        if (fault) {
            bool armed = fault->host ? maxhost_fail_call(fault->name.c_str(), nth)
                                     : appkit::fail_call(fault->name, nth);
            EXPECT_TRUE(armed) << fault->name;
        }
        void *x = w.x;
        request.act(w);
        bool created = std::string(request.name) != "creation" || w.x;
        FaultOutcome o = observe(w, w.x ? w.x : x, created);
        if (fault)
            EXPECT_EQ(fired(), 1) << request.name << ": " << fault->name << " use " << nth
                                  << " was not made to fail";
        if (counts)
            for (const Fault &f : all_faults())
                (*counts)[f.name] = uses_of(f);
        reset_counts();

        // "ok" only for a file that the workspace was asked to open with Live.
        if (o.sent_right(LIVEAPP_RESULT_OK)) {
            bool asked = false;
            for (const appkit::OpenRequest &r : appkit::open_requests())
                asked |= r.file == folder_ + "/song.als" && r.application == LIVE_BUNDLE;
            EXPECT_TRUE(asked) << request.name << ": \"ok\" without a hand-off";
        }

        // The object lives on and works: the probe asks for the name and a file.
        if (w.x && probe) {
            maxhost::reset_records();
            appkit::clear_records();
            maxhost::send(w.x, "getname");
            maxhost::send(w.x, "addfile", {maxhost::sym("song.als")});
            settle();
            *probe = observe(w, w.x, true, false);
        }
        if (w.x)
            maxhost_free_object(w.x);
        settle();
        for (id window : appkit::open_windows())
            appkit::close_window(window);
        appkit::drain_autorelease_pool();
        EXPECT_EQ(maxhost_live_allocations(), allocations) << request.name << ": host memory left";
        EXPECT_EQ(maxhost_live_objects(), objects) << request.name << ": an object left";
        EXPECT_EQ(appkit::live_objects(), 0) << request.name << ": AppKit objects left";
        EXPECT_EQ(maxhost_bad_frees(), 0);
        EXPECT_EQ(maxhost_refused_calls(), refused) << request.name;
        return o;
    }

    std::string folder_;
};

} // namespace

TEST_F(FaultSweep, EveryCallThatCanFailIsReportedOrHarmlessAndNeverCrashesLeaksOrSaysOkWrongly)
{
    FaultTally tally;
    for (const Request &request : requests()) {
        std::map<std::string, long> counts;
        FaultOutcome normal_probe;
        FaultOutcome normal = trial(request, nullptr, 0, &normal_probe, &counts);
        EXPECT_TRUE(normal.errors().empty()) << request.name << "\n" << describe(normal);
        for (const Fault &fault : all_faults()) {
            long count = counts[fault.name];
            for (long nth = 1; nth <= count; ++nth) {
                FaultOutcome probe;
                FaultOutcome o = trial(request, &fault, nth, &probe, nullptr);
                std::string what;
                if (!tally.judge(o, request.name, what)) {
                    what = "as without the failure";
                    EXPECT_EQ(o, normal) << request.name << ": " << fault.name << " use " << nth
                                         << " failed silently\nwith the failure:\n"
                                         << describe(o) << "without:\n"
                                         << describe(normal);
                }
                if (o.created && std::string(request.name) != "deletion")
                    EXPECT_EQ(probe, normal_probe)
                        << request.name << ": " << fault.name << " use " << nth
                        << ": the object does not work as before afterwards\n"
                        << describe(probe) << "instead of\n"
                        << describe(normal_probe);
                tally.add(request.name, fault.name, nth, count, what);
            }
        }
        tally.end_request(request.name);
    }
    tally.print_figures(maxhost_freed_calls());

    std::string docs = std::string(QUENBRIX_SOURCE_DIR) + "/docs/testing.md";
    std::string readme = std::string(QUENBRIX_SOURCE_DIR) + "/README.md";
    EXPECT_EQ(fault_section_sync(docs, "fault sweep: macOS file", tally.table()), "");
    EXPECT_EQ(fault_count_sync(readme, " trials on the macOS file", tally.trials), "");
}

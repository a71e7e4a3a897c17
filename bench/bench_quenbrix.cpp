// Native benchmarks of quenbrix, with a short table at the end. Every goal
// is a ratio of two figures measured in the same run, since absolute times
// move with the load of the machine:
//  - liveapp_cleantitle against a plain strstr of the marker, over realistic
//    main-window titles and over titles of growing length;
//  - what each deferring message costs the thread that sends it, split into
//    the object's own part (the method called directly, with a queue that
//    only counts), the stand-in host's dispatch and the stand-in's queue;
//  - making an object, answering one getname and freeing an object, per
//    object, with 100, 1,000 and 10,000 objects alive;
//  - the lines of the Wine benchmarks (getname against a bare EnumWindows
//    loop; finishing a hand-off with 1 and 200 in flight), when they ran;
//  - the sizes of the cross-built externals, when this build made them.
// Run it through `cmake --build build --target bench`.
#include "liveapp.h"
#include "liveapp_texts.h"
#include "appkit.h"
#include "maxhost.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

// This thread's CPU time in nanoseconds. The message and object timings
// use it rather than the wall clock, so that time the machine gives to
// other work while a batch runs is not counted.
double thread_ns()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

// ---- titles ----

// Titles of Live's main window as they come in practice: saved and unsaved
// sets, sets in project folders, non-ASCII names, long names, and windows
// without the marker.
const std::vector<std::string> titles = {
    "My Set - Ableton Live 11 Suite",
    "Untitled* - Ableton Live 11 Suite",
    "Bassline Sketch [Bassline Sketch Project] - Ableton Live 11 Suite",
    "Untitled*  [Untitled Project] - Ableton Live 10 Standard",
    "Mélodie für Ève — version 3 - Ableton Live 12 Intro",
    "Live Set 2023-04-01 final final mix (copy) [Club Night 2023 Project] - Ableton Live 11 Suite",
    " - Ableton Live 11 Trial",
    "Ableton Live 11 Suite",
    "Preferences",
    "C:\\Users\\sam\\Music\\Sets\\Show*  [Show Project] - Ableton Live 11 Lite",
};

// A title of exactly `length` bytes: a set whose long name fills the title,
// unsaved, then the marker and the edition; in a project folder, when
// `project`, which makes the bracket rule remove every asterisk.
std::string long_title(size_t length, bool project)
{
    const std::string tail = project ? "*  [Tour Project] - Ableton Live 12 Suite"
                                     : "* - Ableton Live 12 Suite";
    const std::string words = "Live Set for the long tour, part ";
    std::string name;
    while (name.size() + tail.size() < length)
        name += words[name.size() % words.size()];
    return name + tail;
}

const std::vector<int> title_lengths = {40, 125, 500, 2000};

// The title sets measured: the 10 titles, then one title of each length,
// then the longest in a project folder.
std::vector<std::vector<std::string>> title_sets()
{
    std::vector<std::vector<std::string>> sets = {titles};
    for (int n : title_lengths)
        sets.push_back({long_title((size_t)n, false)});
    sets.push_back({long_title((size_t)title_lengths.back(), true)});
    return sets;
}

// liveapp_cleantitle and a plain strstr of the marker over the same titles,
// in alternating batches, so that both meet the same load of the machine.
// Both copy each title into the same scratch buffer first, since
// liveapp_cleantitle edits in place; only the search afterwards differs.
void BM_titles(benchmark::State &state)
{
    const std::vector<std::string> set = title_sets()[(size_t)state.range(0)];
    // Aligned alike in every run: where a title starts within a cache line
    // moves both searches' times.
    alignas(64) static char buffer[4096];
    char *const scratch = buffer;
    const int rounds = 64;
    double clean_ns = 0, plain_ns = 0;
    for (auto _ : state) {
        double start = thread_ns();
        for (int r = 0; r < rounds; ++r)
            for (auto &t : set) {
                std::memcpy(scratch, t.c_str(), t.size() + 1);
                benchmark::DoNotOptimize(liveapp_cleantitle(scratch));
                benchmark::ClobberMemory();
            }
        double middle = thread_ns();
        for (int r = 0; r < rounds; ++r)
            for (auto &t : set) {
                std::memcpy(scratch, t.c_str(), t.size() + 1);
                benchmark::DoNotOptimize(std::strstr(scratch, LIVEAPP_TITLE_MARKER));
                benchmark::ClobberMemory();
            }
        double end = thread_ns();
        clean_ns += middle - start;
        plain_ns += end - middle;
        state.SetIterationTime((end - start) / 1e9);
    }
    double items = (double)state.iterations() * rounds * (double)set.size();
    state.counters["clean_ns"] = clean_ns / items;
    state.counters["strstr_ns"] = plain_ns / items;
}
BENCHMARK(BM_titles)->DenseRange(0, 5)->UseManualTime();

// ---- what a deferring message costs its sender ----
//
// Sends go in batches of `batch`; only the sends are timed. The queued work
// is then run, and the records cleared, outside the timing, so that a batch
// always starts from an empty queue as it would in a patch. A deferring
// method must leave exactly one call per send queued (or counted).
constexpr int batch = 256;

enum SendWay {
    SEND_WHOLE,    // maxhost_send with the stand-in's queue: what a patch pays
    SEND_COUNTING, // maxhost_send, with a queue that only counts
    SEND_OWN,      // the method called directly, with a queue that only counts
};

void BM_sender(benchmark::State &state, const char *message, SendWay way)
{
    void *x = maxhost_new_object(LIVEAPP_CLASS_NAME, 0, nullptr);
    if (!x) {
        state.SkipWithError("no quenbrix object");
        return;
    }
    t_atom file = maxhost::sym("not-in-the-search-path.als");
    bool with_file = std::strcmp(message, "addfile") == 0;
    method fn = maxhost_method(maxhost_find_class(LIVEAPP_CLASS_NAME), message);
    typedef void (*plain_fn)(void *);
    typedef void (*gimme_fn)(void *, t_symbol *, long, t_atom *);
    t_symbol *selector = gensym(message);
    double timed_ns = 0;
    for (auto _ : state) {
        long counted = maxhost_counted_calls();
        maxhost_count_only_queue(way != SEND_WHOLE);
        double start = thread_ns();
        if (way == SEND_OWN && with_file)
            for (int i = 0; i < batch; ++i)
                ((gimme_fn)fn)(x, selector, 1, &file);
        else if (way == SEND_OWN)
            for (int i = 0; i < batch; ++i)
                ((plain_fn)fn)(x);
        else
            for (int i = 0; i < batch; ++i)
                maxhost_send(x, message, with_file ? 1 : 0, with_file ? &file : nullptr);
        double ns = thread_ns() - start;
        maxhost_count_only_queue(0);
        timed_ns += ns;
        state.SetIterationTime(ns / 1e9);

        int queued = way == SEND_WHOLE ? maxhost_queue_length()
                                       : (int)(maxhost_counted_calls() - counted);
        if (queued != batch) {
            state.SkipWithError("the method did not queue exactly one call per send");
            break;
        }
        while (maxhost_queue_length() > 0)
            maxhost_run_queue();
        maxhost::reset_records();
        appkit::clear_records();
        appkit::drain_autorelease_pool();
    }
    maxhost_free_object(x);
    maxhost_run_queue();
    state.counters["ns_per_call"] = timed_ns / ((double)state.iterations() * batch);
}

const char *const deferring[] = {"getname", "front", "recallfocus", "addfile"};

#define SENDER(m)                                                                  \
    BENCHMARK_CAPTURE(BM_sender, m##_whole, #m, SEND_WHOLE)->UseManualTime();       \
    BENCHMARK_CAPTURE(BM_sender, m##_counting, #m, SEND_COUNTING)->UseManualTime(); \
    BENCHMARK_CAPTURE(BM_sender, m##_own, #m, SEND_OWN)->UseManualTime();
SENDER(getname)
SENDER(front)
SENDER(recallfocus)
SENDER(addfile)

// savefocus works in place: natively this is the macOS body on the
// stand-in AppKit, whose message recording is part of what it costs here.
void BM_savefocus(benchmark::State &state)
{
    void *x = maxhost_new_object(LIVEAPP_CLASS_NAME, 0, nullptr);
    double timed_ns = 0;
    for (auto _ : state) {
        double start = thread_ns();
        for (int i = 0; i < batch; ++i)
            maxhost_send(x, "savefocus", 0, nullptr);
        double ns = thread_ns() - start;
        timed_ns += ns;
        state.SetIterationTime(ns / 1e9);
        appkit::clear_records();
    }
    maxhost_free_object(x);
    state.counters["ns_per_call"] = timed_ns / ((double)state.iterations() * batch);
}
BENCHMARK(BM_savefocus)->UseManualTime();

// ---- many objects ----
//
// One round makes `n` objects, sends each one getname and runs the host's
// queue once (the search, the name out of the outlet), then frees them all.
// Each iteration runs rounds until it has made 10,000 objects, so that the
// three phases are timed per object over the same number of objects
// whatever `n`. Between phases the records are cleared, outside the timing.
const std::vector<int> object_counts = {100, 1000, 10000};

void BM_objects(benchmark::State &state)
{
    const int n = (int)state.range(0);
    const int rounds = 10000 / n;
    std::vector<void *> objs((size_t)n);
    double make_ns = 0, getname_ns = 0, free_ns = 0;
    auto ns_since = [](double start) { return thread_ns() - start; };
    for (auto _ : state) {
        double iteration_ns = 0;
        for (int r = 0; r < rounds; ++r) {
            double start = thread_ns();
            for (void *&x : objs)
                x = maxhost_new_object(LIVEAPP_CLASS_NAME, 0, nullptr);
            double made = ns_since(start);

            start = thread_ns();
            for (void *x : objs)
                maxhost_send(x, "getname", 0, nullptr);
            maxhost_run_queue();
            double answered = ns_since(start);
            if (maxhost_sent_count() != n) {
                state.SkipWithError("not every object answered its getname");
                return;
            }
            maxhost::reset_records();
            appkit::clear_records();
            appkit::drain_autorelease_pool();

            start = thread_ns();
            for (void *x : objs)
                maxhost_free_object(x);
            double freed = ns_since(start);

            make_ns += made;
            getname_ns += answered;
            free_ns += freed;
            iteration_ns += made + answered + freed;
        }
        state.SetIterationTime(iteration_ns / 1e9);
    }
    double objects = (double)state.iterations() * rounds * n;
    state.counters["make_ns"] = make_ns / objects;
    state.counters["getname_ns"] = getname_ns / objects;
    state.counters["free_ns"] = free_ns / objects;
}
BENCHMARK(BM_objects)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- the table ----

// Keeps every run for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    TableReporter() : ConsoleReporter(isatty(1) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (auto &r : runs)
            if (!r.error_occurred)
                results[r.benchmark_name()] = r;
            else
                failed.push_back(r.benchmark_name() + ": " + r.error_message);
    }
    const Run *find(const std::string &name) const
    {
        auto it = results.find(name);
        return it == results.end() ? nullptr : &it->second;
    }
    std::map<std::string, Run> results;
    std::vector<std::string> failed;
};

std::string size_of(const std::string &path)
{
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    if (ec)
        return "not built here";
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes (%.1f KiB)", (unsigned long long)n,
                  (double)n / 1024.0);
    return text;
}

// The Wine benchmarks write their result lines here when they ran before
// this program (see cmake/Bench.cmake): one line starting "getname", one
// starting "handoff".
std::string wine_line(const std::string &build, const std::string &which)
{
    std::ifstream in(build + "/bench/wine.txt");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(which + " ", 0) == 0)
            return line.substr(which.size() + 1);
    return "not measured by this run";
}

void row(const std::string &what, const std::string &result)
{
    std::printf("%-58s %s\n", what.c_str(), result.c_str());
}

std::string verdict(double value, double goal)
{
    return value <= goal ? "meets" : "MISSES";
}

} // namespace

int main(int argc, char **argv)
{
    // Live as the requests find it in use: active, with its main window key,
    // so that every message takes its working path.
    appkit::reset();
    id main_window = appkit::add_window("My Set");
    appkit::set_active(true);
    appkit::set_key_window(main_window);
    maxhost_load(ext_main);
    // A moment of work first, so that the first benchmark does not meet a
    // core still waking up.
    char warm[64];
    for (double until = thread_ns() + 2e8; thread_ns() < until;)
        benchmark::DoNotOptimize(liveapp_cleantitle(std::strcpy(warm, "Warm* - Ableton Live")));
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const std::string build = QUENBRIX_BUILD_DIR;
    char text[200];
    std::printf("\nquenbrix benchmarks (goals are ratios measured in this run)\n");
    row("measure", "result");
    row("-------", "------");

    // Titles.
    for (size_t i = 0; i < title_sets().size(); ++i) {
        const auto *r = reporter.find("BM_titles/" + std::to_string(i) + "/manual_time");
        if (!r)
            continue;
        double c = r->counters.at("clean_ns"), p = r->counters.at("strstr_ns");
        std::string what = "cleantitle / strstr, ", goal;
        if (i == 0)
            what += "the 10 titles";
        else if (i <= title_lengths.size())
            what += "a title of " + std::to_string(title_lengths[i - 1]) + " bytes";
        else
            what += "the same in a project (every * goes)";
        if (i == 0 || i == title_lengths.size())
            goal = " (goal 1.5, " + verdict(c / p, 1.5) + ")";
        std::snprintf(text, sizeof text, "%.1f against %.1f ns: %.2f%s", c, p, c / p,
                      goal.c_str());
        row(what, text);
    }

    // The sender's cost.
    for (const char *m : deferring) {
        std::string base = std::string("BM_sender/") + m;
        const auto *whole = reporter.find(base + "_whole/manual_time");
        const auto *counting = reporter.find(base + "_counting/manual_time");
        const auto *own = reporter.find(base + "_own/manual_time");
        if (!whole || !counting || !own)
            continue;
        double w = whole->counters.at("ns_per_call"), c = counting->counters.at("ns_per_call"),
               o = own->counters.at("ns_per_call");
        std::snprintf(text, sizeof text,
                      "%.0f ns (goal 150, %s) = own %.1f (goal 30, %s) + dispatch %.0f + "
                      "queue %.0f",
                      w, verdict(w, 150).c_str(), o, verdict(o, 30).c_str(), c - o, w - c);
        row(std::string(m) + ", cost to the sender", text);
    }
    if (const auto *s = reporter.find("BM_savefocus/manual_time")) {
        std::snprintf(text, sizeof text, "%.0f ns per call (works in place)",
                      s->counters.at("ns_per_call"));
        row("savefocus, cost to the sender", text);
    }

    // Many objects.
    const auto *few = reporter.find("BM_objects/100/manual_time");
    const auto *many = reporter.find("BM_objects/10000/manual_time");
    for (const char *phase : {"make", "getname", "free"}) {
        std::string counter = std::string(phase) + "_ns", curve;
        for (int n : object_counts)
            if (const auto *r = reporter.find("BM_objects/" + std::to_string(n) + "/manual_time")) {
                std::snprintf(text, sizeof text, "%s%.2f", curve.empty() ? "" : " / ",
                              r->counters.at(counter) / 1000.0);
                curve += text;
            }
        if (!few || !many)
            continue;
        double ratio = many->counters.at(counter) / few->counters.at(counter);
        std::snprintf(text, sizeof text, "%s us; 10,000 / 100: %.2f (goal 1.5, %s)",
                      curve.c_str(), ratio, verdict(ratio, 1.5).c_str());
        row(std::string(phase) + " per object, 100 / 1,000 / 10,000 alive", text);
    }

    row("getname under Wine, 1,000 windows / bare EnumWindows", wine_line(build, "getname"));
    row("finishing a Windows hand-off, 200 / 1 in flight", wine_line(build, "handoff"));
    row("quenbrix.mxe64", size_of(build + "/windows/quenbrix.mxe64"));
    row("quenbrix.mxo (universal binary)",
        size_of(build + "/macos/quenbrix.mxo/Contents/MacOS/quenbrix"));
    for (auto &f : reporter.failed)
        std::printf("FAILED %s\n", f.c_str());
    benchmark::Shutdown();
    return reporter.failed.empty() ? 0 : 1;
}

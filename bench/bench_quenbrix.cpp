// Native benchmarks of quenbrix, with a short table at the end:
//  - liveapp_cleantitle over realistic main-window titles, against a plain
//    strstr of the marker over the same titles;
//  - what each message costs the thread that sends it, in the stand-in host
//    (getname, front, recallfocus and addfile must only queue their work);
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

#include <unistd.h>

namespace {

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

size_t total_bytes()
{
    size_t n = 0;
    for (auto &t : titles)
        n += t.size();
    return n;
}

// Both loops copy each title into the same scratch buffer first, since
// liveapp_cleantitle edits in place; only the search afterwards differs.
void BM_cleantitle(benchmark::State &state)
{
    char scratch[256];
    for (auto _ : state)
        for (auto &t : titles) {
            std::memcpy(scratch, t.c_str(), t.size() + 1);
            benchmark::DoNotOptimize(liveapp_cleantitle(scratch));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * (int64_t)titles.size());
    state.SetBytesProcessed(state.iterations() * (int64_t)total_bytes());
}
BENCHMARK(BM_cleantitle);

void BM_strstr_marker(benchmark::State &state)
{
    char scratch[256];
    for (auto _ : state)
        for (auto &t : titles) {
            std::memcpy(scratch, t.c_str(), t.size() + 1);
            benchmark::DoNotOptimize(std::strstr(scratch, LIVEAPP_TITLE_MARKER));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * (int64_t)titles.size());
    state.SetBytesProcessed(state.iterations() * (int64_t)total_bytes());
}
BENCHMARK(BM_strstr_marker);

// One message sent the way a patch sends it (maxhost_send looks the method
// up and calls it). Sends go in batches of `batch`; only the sends are
// timed. The queued work is then run, and the records cleared, outside the
// timing, so that a batch always starts from an empty queue as it would in
// a patch. A deferring method must leave exactly one call per send queued.
constexpr int batch = 256;

void BM_message(benchmark::State &state, const char *message, bool defers)
{
    static std::string folder;
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    if (!x) {
        state.SkipWithError("no quenbrix object");
        return;
    }
    t_atom file = maxhost::sym("not-in-the-search-path.als");
    bool with_file = std::strcmp(message, "addfile") == 0;
    double timed_ns = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < batch; ++i)
            maxhost_send(x, message, with_file ? 1 : 0, with_file ? &file : nullptr);
        auto end = std::chrono::steady_clock::now();
        double ns = std::chrono::duration<double, std::nano>(end - start).count();
        timed_ns += ns;
        state.SetIterationTime(ns / 1e9);

        int queued = maxhost_queue_length();
        if (queued != (defers ? batch : 0)) {
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
BENCHMARK_CAPTURE(BM_message, getname, "getname", true)->UseManualTime();
BENCHMARK_CAPTURE(BM_message, front, "front", true)->UseManualTime();
BENCHMARK_CAPTURE(BM_message, recallfocus, "recallfocus", true)->UseManualTime();
BENCHMARK_CAPTURE(BM_message, addfile, "addfile", true)->UseManualTime();
// savefocus works in place: natively this is the macOS body on the
// stand-in AppKit, whose message recording is part of what it costs here.
BENCHMARK_CAPTURE(BM_message, savefocus, "savefocus", false)->UseManualTime();

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
    std::map<std::string, Run> results;
    std::vector<std::string> failed;
};

double ns_per_title(const benchmark::BenchmarkReporter::Run &r)
{
    double seconds = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
    return seconds * 1e9 / (double)titles.size();
}

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

// The Wine getname benchmark writes its one result line here when it runs
// before this program (see cmake/Bench.cmake).
std::string wine_getname_line(const std::string &build)
{
    std::ifstream in(build + "/bench/wine-getname.txt");
    std::string line;
    if (!std::getline(in, line) || line.empty())
        return "not measured by this run";
    return line;
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
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const std::string build = QUENBRIX_BUILD_DIR;
    std::printf("\nquenbrix benchmarks\n");
    std::printf("%-54s %s\n", "measure", "result");
    std::printf("%-54s %s\n", "-------", "------");
    auto row = [](const char *what, const std::string &result) {
        std::printf("%-54s %s\n", what, result.c_str());
    };
    char text[128];
    auto clean = reporter.results.find("BM_cleantitle");
    auto plain = reporter.results.find("BM_strstr_marker");
    if (clean != reporter.results.end() && plain != reporter.results.end()) {
        double c = ns_per_title(clean->second), p = ns_per_title(plain->second);
        std::snprintf(text, sizeof text, "%.1f ns per title", c);
        row("liveapp_cleantitle", text);
        std::snprintf(text, sizeof text, "%.1f ns per title", p);
        row("plain strstr of the marker", text);
        std::snprintf(text, sizeof text, "%.2f", c / p);
        row("cleantitle / strstr", text);
    }
    for (const char *m : {"getname", "front", "recallfocus", "addfile", "savefocus"}) {
        auto r = reporter.results.find(std::string("BM_message/") + m + "/manual_time");
        if (r == reporter.results.end())
            continue;
        double ns = r->second.counters.at("ns_per_call");
        bool defers = std::strcmp(m, "savefocus") != 0;
        std::snprintf(text, sizeof text, "%.0f ns per call%s", ns,
                      !defers ? " (works in place)"
                              : ns < 1000 ? " (only queues; under 1 us)"
                                          : " (only queues; OVER 1 us)");
        std::string what = std::string(m) + ", cost to the sender";
        row(what.c_str(), text);
    }
    row("getname under Wine, 1,000 windows / bare EnumWindows", wine_getname_line(build));
    row("quenbrix.mxe64", size_of(build + "/windows/quenbrix.mxe64"));
    row("quenbrix.mxo (universal binary)",
        size_of(build + "/macos/quenbrix.mxo/Contents/MacOS/quenbrix"));
    for (auto &f : reporter.failed)
        std::printf("FAILED %s\n", f.c_str());
    benchmark::Shutdown();
    return reporter.failed.empty() ? 0 : 1;
}

// The Wine benchmarks of the real quenbrix.mxe64, in one run under Wine:
//  - getname among 1,000 top-level windows, against a bare EnumWindows
//    loop that makes the same tests;
//  - finishing one file hand-off (the main thread's part, once the worker
//    has handed its outcome back) with 200 in flight and with 1.
//
// The program is its own Live (its name holds "Live"): it loads the plug-in
// through the stand-in host and, started again with a file on its command
// line as addfile starts Live, ends at once.
//
// getname: Live's main window is made first and 999 more top-level windows
// after it. A window made later stands above the earlier ones, so
// EnumWindows meets the main window last and both searches visit every
// window. The 999 fail the tests at each step in turn: a quarter are of
// another class, a quarter are owned by the main window, a quarter have no
// title, and the rest pass every test but the marker search, so their
// titles are read and searched. One getname is the real path:
// maxhost_send("getname") then one pass of the host's queue, which runs
// the deferred half on this (the main) thread and sends the name. One bare
// search runs EnumWindows with a callback that makes the same tests and
// reads the title into a buffer it reuses. The two alternate, each going
// first in every other round.
//
// Hand-offs: one object asks for 200 files; the stand-in host holds every
// worker after its start of Live, until all 200 are there. Then they are
// let go one at a time, and each time, once the worker has handed its
// outcome back and ended, the host's queue pass that runs the outcome (the
// object found, the record freed, the clock set) is timed: with 200
// hand-offs in flight, the others still running, then 199, and so on; then
// single hand-offs, each alone, held and let go the same way; the goal
// compares these two. Past the first 15 of the 200, the others wait just
// before their outcome and finish one by one without their 700 ms pause,
// down to 1 in flight. The clock is fired by hand, after the timing.
//
// Each figure is a median of times taken with QueryPerformanceCounter; the
// result lines go to the file named by --out=FILE. Google Benchmark has no
// Windows build among Debian's packages, hence the plain timing loops.
#include "livewin.h"
#include "maxhost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kWindows = 1000;
const int kRounds = 302;
const wchar_t kMarker[] = L" - Ableton Live";

double now_us()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1e6 / (double)freq.QuadPart;
}

struct BareSearch {
    std::vector<WCHAR> title;
    HWND found = nullptr;
};

BOOL CALLBACK bare_enum(HWND window, LPARAM param)
{
    BareSearch *s = (BareSearch *)param;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        return TRUE;
    if (GetWindow(window, GW_OWNER))
        return TRUE;
    char classname[256];
    if (!GetClassNameA(window, classname, (int)sizeof classname) ||
        std::strcmp(classname, "Ableton Live Window Class") != 0)
        return TRUE;
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return TRUE;
    if (s->title.size() < (size_t)length + 1)
        s->title.resize((size_t)length + 1);
    GetWindowTextW(window, s->title.data(), length + 1);
    if (!std::wcsstr(s->title.data(), kMarker))
        return TRUE;
    s->found = window;
    return FALSE;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// getname against the bare loop; the result line, or empty on failure.
std::string bench_getname()
{
    HWND main = livewin_window("Bench Set* - Ableton Live 12 Suite");
    if (!main) {
        std::fprintf(stderr, "no window could be made (is there an X display?)\n");
        return "";
    }
    std::vector<HWND> made;
    for (int i = 1; i < kWindows; ++i) {
        std::string n = std::to_string(i);
        HWND w = nullptr;
        switch (i % 4) {
        case 0:
            w = livewin_window("Other " + n + " - Ableton Live 12", nullptr, L"OtherClass");
            break;
        case 1:
            w = livewin_window("Dialog " + n + " - Ableton Live 12", main);
            break;
        case 2:
            w = livewin_window("");
            break;
        default:
            w = livewin_window("Floating view " + n + " without the marker");
            break;
        }
        if (!w) {
            std::fprintf(stderr, "window %d could not be made\n", i);
            return "";
        }
        made.push_back(w);
    }

    // Both searches must find the main window, and only after the others.
    std::vector<HWND> order;
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
        ((std::vector<HWND> *)p)->push_back(w);
        return TRUE;
    }, (LPARAM)&order);
    size_t main_at = std::find(order.begin(), order.end(), main) - order.begin();
    BareSearch bare;
    EnumWindows(bare_enum, (LPARAM)&bare);
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    if (!x || bare.found != main) {
        std::fprintf(stderr, "setup failed: object %p, bare search found %p\n", x,
                     (void *)bare.found);
        return "";
    }

    std::vector<double> plugin, loop;
    long allocations = maxhost_live_allocations();
    for (int round = 0; round < kRounds; ++round) {
        // Each goes first in every other round.
        double getname_us = 0, bare_us = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                maxhost_sent_clear();
                double t0 = now_us();
                maxhost_send(x, "getname", 0, nullptr);
                maxhost_run_queue();
                getname_us = now_us() - t0;
                if (maxhost_sent_count() != 1 ||
                    std::strcmp(maxhost_sent_selector(0), "Bench Set") != 0) {
                    std::fprintf(stderr, "getname did not send the set name\n");
                    return "";
                }
            } else {
                bare.found = nullptr;
                double t0 = now_us();
                EnumWindows(bare_enum, (LPARAM)&bare);
                bare_us = now_us() - t0;
                if (bare.found != main) {
                    std::fprintf(stderr, "the bare search lost the main window\n");
                    return "";
                }
            }
        }
        if (round > 1) { // the first rounds warm both up
            plugin.push_back(getname_us);
            loop.push_back(bare_us);
        }
    }
    if (maxhost_live_allocations() != allocations)
        std::fprintf(stderr, "warning: %ld host allocations left\n",
                     maxhost_live_allocations() - allocations);
    maxhost_free_object(x);
    for (HWND w : made)
        DestroyWindow(w);
    DestroyWindow(main);

    double p = median(plugin), b = median(loop);
    std::sort(plugin.begin(), plugin.end());
    std::sort(loop.begin(), loop.end());
    std::printf("top-level windows enumerated: %zu; Live's main window is number %zu\n",
                order.size(), main_at + 1);
    std::printf("rounds: %zu of each, alternating\n", plugin.size());
    std::printf("getname (send + queue pass)  median %8.1f us  [p10 %.1f, p90 %.1f]\n", p,
                plugin[plugin.size() / 10], plugin[plugin.size() * 9 / 10]);
    std::printf("bare EnumWindows loop        median %8.1f us  [p10 %.1f, p90 %.1f]\n", b,
                loop[loop.size() / 10], loop[loop.size() * 9 / 10]);
    char line[200];
    std::snprintf(line, sizeof line,
                  "ratio %.3f (getname %.0f us, bare loop %.0f us, medians of %zu; goal 1.05)",
                  p / b, p, b, plugin.size());
    return line;
}

// Until `done` holds, pumping window messages but running nothing of the
// host's queue; false after `limit_ms`.
template <class Done> bool wait_for(Done done, double limit_ms)
{
    double deadline = now_us() + limit_ms * 1000;
    while (!done()) {
        if (now_us() > deadline)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(1);
    }
    return true;
}

// Lets one held worker go on and, once it has handed its outcome back and
// ended, so that nothing else runs, times the queue pass that runs the
// outcome; negative on failure. Then waits for its "ok".
double finish_one(void *x)
{
    int sent = maxhost_sent_count();
    int threads = maxhost_live_threads();
    maxhost_release_one_worker();
    if (!wait_for([threads] { return maxhost_queue_length() == 1 &&
                                     maxhost_live_threads() == threads - 1; },
                  30000)) {
        std::fprintf(stderr, "no outcome came back\n");
        return -1;
    }
    Sleep(1);
    double t0 = now_us();
    int ran = maxhost_run_queue();
    double t1 = now_us();
    Sleep(2);
    if (ran != 1 || maxhost_fire_clocks() != 1 || !livewin_run_until_sent(sent + 1, 30000) ||
        maxhost_sent_object(sent) != x ||
        std::strcmp(maxhost_sent_selector(sent), "ok") != 0) {
        std::fprintf(stderr, "the hand-off did not answer ok\n");
        return -1;
    }
    return t1 - t0;
}

// Finishing a hand-off with 200 in flight and with 1; the result line, or
// empty on failure.
std::string bench_handoffs()
{
    const int kInFlight = 200, kCompared = 15;
    std::string folder = livewin_exe_folder() + "\\bench-files";
    CreateDirectoryW(livewin_utf16(folder).c_str(), nullptr);
    std::ofstream(livewin_utf16(folder + "\\bench.als").c_str()) << "a Live Set";
    maxhost_add_search_folder(folder.c_str());
    SetEnvironmentVariableW(L"QUENBRIX_OPENED", nullptr);
    SetEnvironmentVariableW(L"QUENBRIX_OPEN_GATE", nullptr);
    t_atom file{};
    file.a_type = A_SYM;
    file.a_w.w_sym = gensym("bench.als");
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    // The clock is fired from here, so that the timed pass includes no
    // waking of the host's scheduler thread, which under Wine costs more
    // than the rest together.
    maxhost_clocks_by_hand(1);

    // All 200 start and are held after their start, still running; the
    // first few are let go one by one to finish while the others run.
    maxhost_hold_workers(MAXHOST_HOLD_SLEEP);
    for (int i = 0; i < kInFlight; ++i)
        maxhost_send(x, "addfile", 1, &file);
    double started = now_us();
    maxhost_run_queue();
    if (!wait_for([] { return maxhost_held_workers() == kInFlight; }, 600000)) {
        std::fprintf(stderr, "only %d of %d workers came past their start\n",
                     maxhost_held_workers(), kInFlight);
        return "";
    }
    std::printf("%d hand-offs in flight after %.0f ms\n", kInFlight,
                (now_us() - started) / 1000);
    std::vector<double> by_flight((size_t)kInFlight + 1);
    int in_flight = kInFlight;
    for (; in_flight > kInFlight - kCompared; --in_flight) {
        double t = finish_one(x);
        if (t < 0)
            return "";
        by_flight[(size_t)in_flight] = t;
    }
    // The rest go on to the point before their outcome, and then finish
    // one by one likewise.
    maxhost_hold_workers(MAXHOST_HOLD_DEFER);
    if (!wait_for([in_flight] { return maxhost_held_workers() == in_flight; }, 600000))
        return "";
    for (; in_flight > 0; --in_flight) {
        double t = finish_one(x);
        if (t < 0)
            return "";
        by_flight[(size_t)in_flight] = t;
    }
    // Single hand-offs, each alone in flight, held and let go the same way.
    maxhost_hold_workers(MAXHOST_HOLD_SLEEP);
    std::vector<double> single;
    for (int i = 0; i < kCompared; ++i) {
        maxhost_send(x, "addfile", 1, &file);
        maxhost_run_queue();
        if (!wait_for([] { return maxhost_held_workers() == 1; }, 60000))
            return "";
        double t = finish_one(x);
        if (t < 0)
            return "";
        single.push_back(t);
    }
    maxhost_hold_workers(MAXHOST_HOLD_NONE);
    maxhost_clocks_by_hand(0);
    maxhost_free_object(x);
    wait_for([] { return maxhost_live_threads() == 0; }, 30000);

    // The median over the hand-offs finished with `from` down to `to` in
    // flight.
    auto band = [&](int from, int to) {
        return median(std::vector<double>(by_flight.begin() + to, by_flight.begin() + from + 1));
    };
    double many = band(kInFlight, kInFlight - kCompared + 1), alone = median(single);
    std::printf("finishing a hand-off, medians: %.2f us with %d..%d in flight, the others "
                "running; %.2f us alone (%d times); with the others waiting just before "
                "their outcome, %.2f us with %d..%d, %.2f us with %d..1\n",
                many, kInFlight, kInFlight - kCompared + 1, alone, kCompared,
                band(kInFlight - kCompared, kInFlight - 2 * kCompared + 1),
                kInFlight - kCompared, kInFlight - 2 * kCompared + 1, band(kCompared, 1),
                kCompared);
    char line[240];
    std::snprintf(line, sizeof line,
                  "ratio %.2f (%.2f us with %d to %d in flight, %.2f us alone, medians of %d; "
                  "goal 1.5)",
                  many / alone, many, kInFlight, kInFlight - kCompared + 1, alone, kCompared);
    return line;
}

} // namespace

int main(int argc, char **argv)
{
    if (livewin_second_start())
        return 0;
    std::string result_file;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--out=", 6) == 0)
            result_file = argv[i] + 6;
    std::string error = livewin_load_plugin();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string getname = bench_getname();
    std::string handoff = bench_handoffs();
    std::printf("getname %s\nhandoff %s\n", getname.c_str(), handoff.c_str());
    if (!result_file.empty()) {
        FILE *f = std::fopen(result_file.c_str(), "w");
        if (!f) {
            std::fprintf(stderr, "can't write %s\n", result_file.c_str());
            return 1;
        }
        std::fprintf(f, "getname %s\nhandoff %s\n",
                     getname.empty() ? "failed (see the benchmark's output)" : getname.c_str(),
                     handoff.empty() ? "failed (see the benchmark's output)" : handoff.c_str());
        std::fclose(f);
    }
    return getname.empty() || handoff.empty() ? 1 : 0;
}

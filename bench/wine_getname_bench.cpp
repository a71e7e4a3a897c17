// getname of the real quenbrix.mxe64 among 1,000 top-level windows, against
// a bare EnumWindows loop that makes the same tests, in one run under Wine.
//
// The program is its own Live (its name holds "Live"): it loads the plug-in
// through the stand-in host, makes Live's main window first and 999 more
// top-level windows after it. A window made later stands above the earlier
// ones, so EnumWindows meets the main window last and both searches visit
// every window. The 999 fail the tests at each step in turn: a quarter are
// of another class, a quarter are owned by the main window, a quarter have
// no title, and the rest pass every test but the marker search, so their
// titles are read and searched.
//
// One getname is the real path: maxhost_send("getname") then one pass of
// the host's queue, which runs the deferred half on this (the main) thread
// and sends the name. One bare search runs EnumWindows with a callback that
// makes the same tests and reads the title into a buffer it reuses. The two
// alternate, many times, each timed with QueryPerformanceCounter; the
// medians and their ratio are printed, and the ratio line is written to
// the file named on the command line.
//
// Google Benchmark has no Windows build among Debian's packages, hence the
// plain timing loop.
#include "livewin.h"
#include "maxhost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const int kWindows = 1000;
const int kRounds = 301;
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

} // namespace

int main(int argc, char **argv)
{
    const char *result_file = argc > 1 ? argv[1] : nullptr;
    std::string error = livewin_load_plugin();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    HWND main = livewin_window("Bench Set* - Ableton Live 12 Suite");
    if (!main) {
        std::fprintf(stderr, "no window could be made (is there an X display?)\n");
        return 1;
    }
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
            return 1;
        }
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
        return 1;
    }

    std::vector<double> plugin, loop;
    long allocations = maxhost_live_allocations();
    for (int round = 0; round < kRounds; ++round) {
        maxhost_sent_clear();
        double t0 = now_us();
        maxhost_send(x, "getname", 0, nullptr);
        maxhost_run_queue();
        double t1 = now_us();
        if (maxhost_sent_count() != 1 ||
            std::strcmp(maxhost_sent_selector(0), "Bench Set") != 0) {
            std::fprintf(stderr, "getname did not send the set name\n");
            return 1;
        }

        bare.found = nullptr;
        double t2 = now_us();
        EnumWindows(bare_enum, (LPARAM)&bare);
        double t3 = now_us();
        if (bare.found != main) {
            std::fprintf(stderr, "the bare search lost the main window\n");
            return 1;
        }
        if (round > 0) { // the first round warms both up
            plugin.push_back(t1 - t0);
            loop.push_back(t3 - t2);
        }
    }
    if (maxhost_live_allocations() != allocations)
        std::fprintf(stderr, "warning: %ld host allocations left\n",
                     maxhost_live_allocations() - allocations);

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
                  "ratio %.2f (getname %.0f us, bare loop %.0f us, medians of %zu; target 1.2)",
                  p / b, p, b, plugin.size());
    std::printf("%s\n", line);
    if (result_file) {
        FILE *f = std::fopen(result_file, "w");
        if (!f) {
            std::fprintf(stderr, "can't write %s\n", result_file);
            return 1;
        }
        std::fprintf(f, "%s\n", line);
        std::fclose(f);
    }
    maxhost_free_object(x);
    return 0;
}

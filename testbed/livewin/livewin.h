// The Windows stand-in for Live around the stand-in host (MaxAPI.dll): it
// loads the real quenbrix.mxe64, makes windows the way Live does, runs the
// host's main-thread queue while pumping window messages, and answers a
// second start with a file on its command line the way Live would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#define LIVEWIN_WINDOW_CLASS L"Ableton Live Window Class"
#define LIVEWIN_BROADCAST_NAME L"Ableton.Live.shm1.global"

// A second start with a file on the command line: records what it was asked
// to open and returns true; the program then ends. Otherwise false.
//
// Environment of the second start (inherited from the first):
//   QUENBRIX_OPENED        file to which one line is appended per start:
//                          the time the start ended (livewin_clock_ms), then
//                          each argument received, tab-separated, UTF-8
//   QUENBRIX_OPEN_DELAY_MS how long opening takes (default 0)
//   QUENBRIX_SLOW_FILE     a file name whose opening takes 400 ms longer
//   QUENBRIX_OPEN_GATE     the name of an event: opening first waits until
//                          it is set, so that a test can hold many starts
//                          open at once however long starting them takes;
//                          a start also goes on once the host that made it
//                          has ended, so none is left behind
bool livewin_second_start();

// One line of the QUENBRIX_OPENED file.
struct LivewinOpened {
    double ended_ms;
    std::vector<std::string> args;
};
std::vector<LivewinOpened> livewin_read_opened(const std::string &file);

// Loads quenbrix.mxe64 from beside the executable and calls its ext_main
// through the host. Returns an empty string or what went wrong. It also
// notes this host's process id in QUENBRIX_HOST_PID for the starts it makes.
// With `failure_on_demand`, the plug-in's Win32 calls go through the
// stand-ins of imports.h from the start.
std::string livewin_load_plugin(bool failure_on_demand = false);

// A window of Live's class (or of another class), titled in UTF-8, shown.
HWND livewin_window(const std::string &title, HWND owner = nullptr,
                    const wchar_t *classname = LIVEWIN_WINDOW_CLASS);

// Pumps this thread's window messages and runs the host's queue until
// `count` outlet messages were sent or the time is up.
bool livewin_run_until_sent(int count, long timeout_ms);
// Pumps and runs the queue for a while.
void livewin_run_for(long ms);

// How many times the broadcast message reached a window of this process.
int livewin_broadcasts_received();

// A clock that all processes of the machine share, in milliseconds, and the
// host's clock (maxhost_now) on the same scale.
double livewin_clock_ms();
double livewin_host_to_clock(double host_ms);

std::string livewin_utf8(const std::wstring &text);
std::wstring livewin_utf16(const std::string &text);
std::string livewin_exe_path();   // this program's path, UTF-8
std::string livewin_exe_folder(); // its folder, without a trailing backslash

// What the Windows suites share: a fixture that makes quenbrix objects and
// Live windows and cleans both up, and another application to compete with.
#pragma once

#include "livewin.h"
#include "maxhost.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

const int LEFT = 0, RIGHT = 1;

class WinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void *make();          // a quenbrix object, freed after the test
    void destroy(void *x); // frees it now
    HWND window(const std::string &title, HWND owner = nullptr,
                const wchar_t *classname = LIVEWIN_WINDOW_CLASS);
    void close(HWND window);

    // Console lines of one object, of one kind (MAXHOST_POST/WARN/ERROR).
    std::vector<std::string> lines_of(void *x, int kind) const;
    std::vector<std::string> errors_of(void *x) const
    {
        return lines_of(x, MAXHOST_ERROR);
    }
    // Messages that left the outlets of one object.
    std::vector<maxhost::Message> sent_by(void *x) const;

    long allocations_before_ = 0;
    std::vector<void *> objects_;
    std::vector<HWND> windows_;
};

// A folder of its own under the build folder, emptied first.
std::string test_folder(const std::string &name);

// A small file in a folder; its full path.
std::string make_file(const std::string &folder, const std::string &name);

// Sets an environment variable for this process and those it starts; an
// empty value removes it.
void set_env(const char *name, const std::string &value);

// WinHelper.exe: a second application with a top-level window that takes
// the foreground when it starts and notes broadcasts it receives. Given a
// title, its window is of Live's class with that title: another Live.
class OtherApp {
public:
    // It ends by itself after `seconds`.
    explicit OtherApp(const std::string &live_title = "", int seconds = 60);
    ~OtherApp();
    bool started() const { return ready_; }
    DWORD pid() const { return process_.dwProcessId; }
    int received() const; // broadcasts that reached its window
    bool wait_received(int count, long timeout_ms) const;

private:
    std::vector<std::string> status() const;
    std::string status_file_;
    PROCESS_INFORMATION process_{};
    bool ready_ = false;
};

// The process that owns the foreground window now.
DWORD foreground_pid();

// The top-level windows of Live's class, in the order a search meets them.
std::vector<HWND> live_class_windows();

#include "wintest.h"

#include <fstream>

void WinTest::SetUp()
{
    maxhost::reset_records();
    allocations_before_ = maxhost_live_allocations();
}

void WinTest::TearDown()
{
    for (void *x : objects_)
        maxhost_free_object(x);
    objects_.clear();
    for (HWND w : windows_)
        DestroyWindow(w);
    windows_.clear();
    livewin_run_for(20);
}

void *WinTest::make()
{
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    if (x)
        objects_.push_back(x);
    return x;
}

void WinTest::destroy(void *x)
{
    for (size_t i = 0; i < objects_.size(); ++i)
        if (objects_[i] == x) {
            objects_.erase(objects_.begin() + (long)i);
            break;
        }
    maxhost_free_object(x);
}

HWND WinTest::window(const std::string &title, HWND owner, const wchar_t *classname)
{
    HWND w = livewin_window(title, owner, classname);
    if (w)
        windows_.push_back(w);
    return w;
}

void WinTest::close(HWND w)
{
    for (size_t i = 0; i < windows_.size(); ++i)
        if (windows_[i] == w) {
            windows_.erase(windows_.begin() + (long)i);
            break;
        }
    DestroyWindow(w);
    livewin_run_for(10);
}

std::vector<std::string> WinTest::lines_of(void *x, int kind) const
{
    std::vector<std::string> out;
    for (const maxhost::Line &l : maxhost::console())
        if (l.object == x && l.kind == kind)
            out.push_back(l.text);
    return out;
}

std::vector<maxhost::Message> WinTest::sent_by(void *x) const
{
    std::vector<maxhost::Message> out;
    for (const maxhost::Message &m : maxhost::sent())
        if (m.object == x)
            out.push_back(m);
    return out;
}

std::string test_folder(const std::string &name)
{
    std::string folder = livewin_exe_folder() + "\\test-files\\" + name;
    std::wstring wide = livewin_utf16(folder);
    // Remove what an earlier run left, then make the folder afresh.
    std::wstring pattern = wide + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((wide + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    CreateDirectoryW(livewin_utf16(livewin_exe_folder() + "\\test-files").c_str(), nullptr);
    CreateDirectoryW(wide.c_str(), nullptr);
    return folder;
}

OtherApp::OtherApp(const std::string &live_title, int seconds)
{
    status_file_ = test_folder("other-app") + "\\status.txt";
    std::wstring line = L"\"" + livewin_utf16(livewin_exe_folder() + "\\WinHelper.exe") +
                        L"\" \"" + livewin_utf16(status_file_) + L"\" " +
                        std::to_wstring(seconds);
    if (!live_title.empty())
        line += L" \"" + livewin_utf16(live_title) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_))
        return;
    for (int i = 0; i < 1000 && !ready_; ++i) {
        std::vector<std::string> lines = status();
        ready_ = !lines.empty() && lines[0] == "ready";
        if (!ready_)
            livewin_run_for(10);
    }
    // Let its window settle in front.
    for (int i = 0; i < 100 && foreground_pid() != pid(); ++i)
        livewin_run_for(10);
}

OtherApp::~OtherApp()
{
    if (!process_.hProcess)
        return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::vector<std::string> OtherApp::status() const
{
    std::vector<std::string> lines;
    std::ifstream in(livewin_utf16(status_file_).c_str());
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int OtherApp::received() const
{
    int n = 0;
    for (const std::string &l : status())
        n += l == "received";
    return n;
}

bool OtherApp::wait_received(int count, long timeout_ms) const
{
    for (long waited = 0; waited < timeout_ms; waited += 20) {
        if (received() >= count)
            return true;
        livewin_run_for(20);
    }
    return received() >= count;
}

DWORD foreground_pid()
{
    DWORD pid = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &pid);
    return pid;
}

std::vector<HWND> live_class_windows()
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND w, LPARAM param) -> BOOL {
            wchar_t name[256];
            if (GetClassNameW(w, name, 256) && wcscmp(name, LIVEWIN_WINDOW_CLASS) == 0)
                ((std::vector<HWND> *)param)->push_back(w);
            return TRUE;
        },
        (LPARAM)&found);
    return found;
}

std::string make_file(const std::string &folder, const std::string &name)
{
    std::string path = folder + "\\" + name;
    std::ofstream(livewin_utf16(path).c_str()) << "a Live Set";
    return path;
}

void set_env(const char *name, const std::string &value)
{
    SetEnvironmentVariableW(livewin_utf16(name).c_str(),
                            value.empty() ? nullptr : livewin_utf16(value).c_str());
}

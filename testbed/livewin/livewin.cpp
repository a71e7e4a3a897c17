#include "livewin.h"

#include "imports.h"

#include "maxhost.h"

#include <shellapi.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int g_broadcasts = 0;

LRESULT CALLBACK livewin_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    static const UINT broadcast = RegisterWindowMessageW(LIVEWIN_BROADCAST_NAME);
    if (broadcast && message == broadcast) {
        ++g_broadcasts;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

void register_class(const wchar_t *name)
{
    WNDCLASSW wc = {};
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &wc))
        return;
    wc.lpfnWndProc = livewin_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
}

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

std::string livewin_utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0,
                                nullptr, nullptr);
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring livewin_utf16(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}

std::string livewin_exe_path()
{
    wchar_t path[2048];
    DWORD n = GetModuleFileNameW(nullptr, path, 2048);
    return livewin_utf8(std::wstring(path, n));
}

std::string livewin_exe_folder()
{
    std::string path = livewin_exe_path();
    return path.substr(0, path.find_last_of('\\'));
}

double livewin_clock_ms()
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return (double)now.QuadPart * 1000.0 / (double)freq.QuadPart;
}

double livewin_host_to_clock(double host_ms)
{
    // Both clocks are read back to back; the gap between them is the offset.
    double before = maxhost_now();
    double clock = livewin_clock_ms();
    double after = maxhost_now();
    return host_ms + (clock - (before + after) / 2);
}

bool livewin_second_start()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return false;
    if (argc < 2 || (argv[1][0] == L'-' && argv[1][1] == L'-')) {
        LocalFree(argv);
        return false;
    }
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(livewin_utf8(argv[i]));
    LocalFree(argv);

    std::string gate = env("QUENBRIX_OPEN_GATE");
    if (!gate.empty()) {
        HANDLE waits[2] = {
            OpenEventW(SYNCHRONIZE, FALSE, livewin_utf16(gate).c_str()),
            OpenProcess(SYNCHRONIZE, FALSE,
                        (DWORD)std::strtoul(env("QUENBRIX_HOST_PID").c_str(), nullptr, 10))};
        if (waits[0])
            WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, INFINITE);
        for (HANDLE h : waits)
            if (h)
                CloseHandle(h);
    }
    long delay = std::atol(env("QUENBRIX_OPEN_DELAY_MS").c_str());
    std::string slow = env("QUENBRIX_SLOW_FILE");
    const std::string &file = args.back();
    if (!slow.empty() && file.size() >= slow.size() &&
        file.compare(file.size() - slow.size(), slow.size(), slow) == 0)
        delay += 400;
    if (delay > 0)
        Sleep((DWORD)delay);

    std::string record = env("QUENBRIX_OPENED");
    if (!record.empty()) {
        std::ostringstream line;
        line.precision(3);
        line << std::fixed << livewin_clock_ms();
        for (const std::string &a : args)
            line << '\t' << a;
        line << '\n';
        std::string text = line.str();
        // One append per start, under a lock that all starts share: Wine's
        // appends from processes running side by side can land on the same
        // spot, and a line would overwrite another.
        HANDLE lock = CreateMutexW(nullptr, FALSE, L"quenbrix-livewin-opened");
        if (lock)
            WaitForSingleObject(lock, INFINITE);
        HANDLE f = CreateFileW(livewin_utf16(record).c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(f, text.data(), (DWORD)text.size(), &written, nullptr);
            CloseHandle(f);
        }
        if (lock) {
            ReleaseMutex(lock);
            CloseHandle(lock);
        }
    }
    return true;
}

std::vector<LivewinOpened> livewin_read_opened(const std::string &file)
{
    std::vector<LivewinOpened> out;
    std::ifstream in(livewin_utf16(file).c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        LivewinOpened o{};
        std::istringstream fields(line);
        std::string field;
        bool first = true;
        while (std::getline(fields, field, '\t')) {
            if (first)
                o.ended_ms = std::atof(field.c_str());
            else
                o.args.push_back(field);
            first = false;
        }
        out.push_back(o);
    }
    return out;
}

std::string livewin_load_plugin(bool failure_on_demand)
{
    std::wstring path = livewin_utf16(livewin_exe_folder() + "\\quenbrix.mxe64");
    HMODULE plugin = LoadLibraryW(path.c_str());
    if (!plugin)
        return "LoadLibrary failed for quenbrix.mxe64, error " +
               std::to_string(GetLastError());
    if (failure_on_demand) {
        std::string error = livewin_patch_imports(plugin);
        if (!error.empty())
            return error;
    }
    maxhost_entry entry = (maxhost_entry)(void (*)(void))GetProcAddress(plugin, "ext_main");
    if (!entry)
        return "quenbrix.mxe64 exports no ext_main";
    SetEnvironmentVariableW(L"QUENBRIX_HOST_PID",
                            std::to_wstring(GetCurrentProcessId()).c_str());
    maxhost_load(entry);
    return std::string();
}

HWND livewin_window(const std::string &title, HWND owner, const wchar_t *classname)
{
    register_class(classname);
    HWND window = CreateWindowExW(0, classname, livewin_utf16(title).c_str(),
                                  WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        pump();
    }
    return window;
}

bool livewin_run_until_sent(int count, long timeout_ms)
{
    double deadline = maxhost_now() + (double)timeout_ms;
    for (;;) {
        pump();
        maxhost_run_queue();
        if (maxhost_sent_count() >= count)
            return true;
        if (maxhost_now() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void livewin_run_for(long ms)
{
    double deadline = maxhost_now() + (double)ms;
    do {
        pump();
        maxhost_run_queue();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (maxhost_now() < deadline);
    pump();
    maxhost_run_queue();
}

int livewin_broadcasts_received()
{
    return g_broadcasts;
}

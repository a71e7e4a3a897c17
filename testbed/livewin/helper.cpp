// Another application for the window tests: it opens a top-level window of
// its own, takes the foreground, and notes each broadcast of Live's window
// message that reaches it.
//
//   WinHelper.exe STATUSFILE [SECONDS [LIVETITLE]]
//
// Appends "ready" to STATUSFILE once its window is in front and "received"
// for every broadcast; it ends on WM_CLOSE or after SECONDS (default 30).
// With LIVETITLE, its window is of Live's class and bears that title, as a
// second Live's main window would.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring g_status;
UINT g_broadcast = 0;

void note(const char *text)
{
    HANDLE f = CreateFileW(g_status.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    std::string line = std::string(text) + "\n";
    DWORD written = 0;
    WriteFile(f, line.data(), (DWORD)line.size(), &written, nullptr);
    CloseHandle(f);
}

LRESULT CALLBACK helper_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (g_broadcast && message == g_broadcast) {
        note("received");
        return 0;
    }
    if (message == WM_TIMER || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    g_status = argv[1];
    int seconds = argc > 2 ? _wtoi(argv[2]) : 30;
    std::wstring title = argc > 3 ? argv[3] : L"Other application";
    bool live = argc > 3;
    LocalFree(argv);

    g_broadcast = RegisterWindowMessageW(L"Ableton.Live.shm1.global");
    WNDCLASSW wc = {};
    wc.lpfnWndProc = helper_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = live ? L"Ableton Live Window Class" : L"QuenbrixOtherApp";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, title.c_str(),
                                  WS_OVERLAPPEDWINDOW, 200, 200, 300, 200, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window)
        return 3;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetTimer(window, 1, (UINT)seconds * 1000, nullptr);
    note("ready");

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

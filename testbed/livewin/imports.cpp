#include "imports.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

namespace {

// The calls that go through a stand-in, in one list: the name, the real
// function (filled in from the import table), and the stand-in.
enum Call {
    C_EnumWindows,
    C_GetWindowThreadProcessId,
    C_GetWindow,
    C_GetClassNameA,
    C_GetWindowTextLengthW,
    C_GetWindowTextW,
    C_GetForegroundWindow,
    C_IsIconic,
    C_IsWindow,
    C_IsWindowVisible,
    C_ShowWindow,
    C_SetWindowPos,
    C_AttachThreadInput,
    C_SetForegroundWindow,
    C_SetFocus,
    C_SetActiveWindow,
    C_RegisterWindowMessageW,
    C_BroadcastSystemMessageW,
    C_OpenProcess,
    C_QueryFullProcessImageNameW,
    C_GetModuleFileNameW,
    C_CreateProcessW,
    C_WaitForSingleObject,
    C_CloseHandle, // counted, never failed: it keeps the handle count
    C_COUNT
};

const char *const kNames[C_COUNT] = {
    "EnumWindows",         "GetWindowThreadProcessId", "GetWindow",
    "GetClassNameA",       "GetWindowTextLengthW",     "GetWindowTextW",
    "GetForegroundWindow", "IsIconic",                 "IsWindow",
    "IsWindowVisible",     "ShowWindow",               "SetWindowPos",
    "AttachThreadInput",   "SetForegroundWindow",      "SetFocus",
    "SetActiveWindow",     "RegisterWindowMessageW",   "BroadcastSystemMessageW",
    "OpenProcess",         "QueryFullProcessImageNameW", "GetModuleFileNameW",
    "CreateProcessW",      "WaitForSingleObject",      "CloseHandle"};

void *g_real[C_COUNT];
std::atomic<long> g_uses[C_COUNT];
std::atomic<long> g_fail_at[C_COUNT]; // the use to fail, 0: none
std::atomic<int> g_variant[C_COUNT];  // WaitForSingleObject: 0 timeout, 1 failed
std::atomic<long> g_fired{0};

std::mutex g_handles_mu;
std::set<HANDLE> g_handles;

template <typename F> F real(Call c)
{
    return (F)g_real[c];
}

// Counts one use; true when it is the one to fail (its last error is set).
bool fails(Call c, DWORD error = ERROR_ACCESS_DENIED)
{
    long use = ++g_uses[c];
    if (g_fail_at[c] != use)
        return false;
    ++g_fired;
    SetLastError(error);
    return true;
}

void opened(HANDLE h)
{
    std::lock_guard<std::mutex> lock(g_handles_mu);
    g_handles.insert(h);
}

BOOL WINAPI s_EnumWindows(WNDENUMPROC fn, LPARAM param)
{
    if (fails(C_EnumWindows, ERROR_NOT_ENOUGH_MEMORY))
        return FALSE;
    return real<decltype(&EnumWindows)>(C_EnumWindows)(fn, param);
}

DWORD WINAPI s_GetWindowThreadProcessId(HWND w, LPDWORD pid)
{
    if (fails(C_GetWindowThreadProcessId, ERROR_INVALID_WINDOW_HANDLE))
        return 0;
    return real<decltype(&GetWindowThreadProcessId)>(C_GetWindowThreadProcessId)(w, pid);
}

HWND WINAPI s_GetWindow(HWND w, UINT cmd)
{
    if (fails(C_GetWindow, ERROR_INVALID_WINDOW_HANDLE))
        return nullptr;
    return real<decltype(&GetWindow)>(C_GetWindow)(w, cmd);
}

int WINAPI s_GetClassNameA(HWND w, LPSTR name, int size)
{
    if (fails(C_GetClassNameA, ERROR_INVALID_WINDOW_HANDLE))
        return 0;
    return real<decltype(&GetClassNameA)>(C_GetClassNameA)(w, name, size);
}

int WINAPI s_GetWindowTextLengthW(HWND w)
{
    if (fails(C_GetWindowTextLengthW, ERROR_INVALID_WINDOW_HANDLE))
        return 0;
    return real<decltype(&GetWindowTextLengthW)>(C_GetWindowTextLengthW)(w);
}

int WINAPI s_GetWindowTextW(HWND w, LPWSTR text, int size)
{
    if (fails(C_GetWindowTextW, ERROR_INVALID_WINDOW_HANDLE))
        return 0;
    return real<decltype(&GetWindowTextW)>(C_GetWindowTextW)(w, text, size);
}

HWND WINAPI s_GetForegroundWindow()
{
    if (fails(C_GetForegroundWindow))
        return nullptr;
    return real<decltype(&GetForegroundWindow)>(C_GetForegroundWindow)();
}

BOOL WINAPI s_IsIconic(HWND w)
{
    if (fails(C_IsIconic, ERROR_INVALID_WINDOW_HANDLE))
        return FALSE;
    return real<decltype(&IsIconic)>(C_IsIconic)(w);
}

BOOL WINAPI s_IsWindow(HWND w)
{
    if (fails(C_IsWindow, ERROR_INVALID_WINDOW_HANDLE))
        return FALSE;
    return real<decltype(&IsWindow)>(C_IsWindow)(w);
}

BOOL WINAPI s_IsWindowVisible(HWND w)
{
    if (fails(C_IsWindowVisible, ERROR_INVALID_WINDOW_HANDLE))
        return FALSE;
    return real<decltype(&IsWindowVisible)>(C_IsWindowVisible)(w);
}

BOOL WINAPI s_ShowWindow(HWND w, int how)
{
    if (fails(C_ShowWindow))
        return FALSE;
    return real<decltype(&ShowWindow)>(C_ShowWindow)(w, how);
}

BOOL WINAPI s_SetWindowPos(HWND w, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    if (fails(C_SetWindowPos))
        return FALSE;
    return real<decltype(&SetWindowPos)>(C_SetWindowPos)(w, after, x, y, cx, cy, flags);
}

BOOL WINAPI s_AttachThreadInput(DWORD from, DWORD to, BOOL attach)
{
    if (fails(C_AttachThreadInput, ERROR_INVALID_PARAMETER))
        return FALSE;
    return real<decltype(&AttachThreadInput)>(C_AttachThreadInput)(from, to, attach);
}

BOOL WINAPI s_SetForegroundWindow(HWND w)
{
    if (fails(C_SetForegroundWindow))
        return FALSE;
    return real<decltype(&SetForegroundWindow)>(C_SetForegroundWindow)(w);
}

HWND WINAPI s_SetFocus(HWND w)
{
    if (fails(C_SetFocus))
        return nullptr;
    return real<decltype(&SetFocus)>(C_SetFocus)(w);
}

HWND WINAPI s_SetActiveWindow(HWND w)
{
    if (fails(C_SetActiveWindow))
        return nullptr;
    return real<decltype(&SetActiveWindow)>(C_SetActiveWindow)(w);
}

UINT WINAPI s_RegisterWindowMessageW(LPCWSTR name)
{
    if (fails(C_RegisterWindowMessageW, ERROR_NOT_ENOUGH_MEMORY))
        return 0;
    return real<decltype(&RegisterWindowMessageW)>(C_RegisterWindowMessageW)(name);
}

long WINAPI s_BroadcastSystemMessageW(DWORD flags, LPDWORD recipients, UINT message,
                                      WPARAM w, LPARAM l)
{
    if (fails(C_BroadcastSystemMessageW))
        return -1;
    return real<decltype(&BroadcastSystemMessageW)>(C_BroadcastSystemMessageW)(
        flags, recipients, message, w, l);
}

HANDLE WINAPI s_OpenProcess(DWORD access, BOOL inherit, DWORD pid)
{
    if (fails(C_OpenProcess))
        return nullptr;
    HANDLE h = real<decltype(&OpenProcess)>(C_OpenProcess)(access, inherit, pid);
    if (h)
        opened(h);
    return h;
}

BOOL WINAPI s_QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name,
                                         PDWORD size)
{
    if (fails(C_QueryFullProcessImageNameW, ERROR_INSUFFICIENT_BUFFER))
        return FALSE;
    return real<decltype(&QueryFullProcessImageNameW)>(C_QueryFullProcessImageNameW)(
        process, flags, name, size);
}

DWORD WINAPI s_GetModuleFileNameW(HMODULE module, LPWSTR name, DWORD size)
{
    if (fails(C_GetModuleFileNameW, ERROR_NOT_ENOUGH_MEMORY))
        return 0;
    return real<decltype(&GetModuleFileNameW)>(C_GetModuleFileNameW)(module, name, size);
}

BOOL WINAPI s_CreateProcessW(LPCWSTR app, LPWSTR line, LPSECURITY_ATTRIBUTES pa,
                             LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, LPVOID env,
                             LPCWSTR dir, LPSTARTUPINFOW startup,
                             LPPROCESS_INFORMATION started)
{
    if (fails(C_CreateProcessW, ERROR_FILE_NOT_FOUND))
        return FALSE;
    BOOL ok = real<decltype(&CreateProcessW)>(C_CreateProcessW)(
        app, line, pa, ta, inherit, flags, env, dir, startup, started);
    if (ok) {
        opened(started->hProcess);
        opened(started->hThread);
    }
    return ok;
}

DWORD WINAPI s_WaitForSingleObject(HANDLE h, DWORD ms)
{
    if (fails(C_WaitForSingleObject, ERROR_INVALID_HANDLE)) {
        if (g_variant[C_WaitForSingleObject] == 0) {
            SetLastError(ERROR_SUCCESS);
            return WAIT_TIMEOUT;
        }
        return WAIT_FAILED;
    }
    return real<decltype(&WaitForSingleObject)>(C_WaitForSingleObject)(h, ms);
}

BOOL WINAPI s_CloseHandle(HANDLE h)
{
    ++g_uses[C_CloseHandle];
    BOOL ok = real<decltype(&CloseHandle)>(C_CloseHandle)(h);
    if (ok) {
        std::lock_guard<std::mutex> lock(g_handles_mu);
        g_handles.erase(h);
    }
    return ok;
}

void *const kStandIns[C_COUNT] = {
    (void *)s_EnumWindows,         (void *)s_GetWindowThreadProcessId,
    (void *)s_GetWindow,           (void *)s_GetClassNameA,
    (void *)s_GetWindowTextLengthW, (void *)s_GetWindowTextW,
    (void *)s_GetForegroundWindow, (void *)s_IsIconic,
    (void *)s_IsWindow,            (void *)s_IsWindowVisible,
    (void *)s_ShowWindow,          (void *)s_SetWindowPos,
    (void *)s_AttachThreadInput,   (void *)s_SetForegroundWindow,
    (void *)s_SetFocus,            (void *)s_SetActiveWindow,
    (void *)s_RegisterWindowMessageW, (void *)s_BroadcastSystemMessageW,
    (void *)s_OpenProcess,         (void *)s_QueryFullProcessImageNameW,
    (void *)s_GetModuleFileNameW,  (void *)s_CreateProcessW,
    (void *)s_WaitForSingleObject, (void *)s_CloseHandle};

int call_index(const std::string &name)
{
    for (int i = 0; i < C_COUNT; ++i)
        if (name == kNames[i])
            return i;
    return -1;
}

} // namespace

std::vector<LivewinFault> livewin_faults()
{
    std::vector<LivewinFault> out;
    for (int i = 0; i < C_COUNT; ++i) {
        if (i == C_CloseHandle)
            continue;
        if (i == C_WaitForSingleObject) {
            out.push_back({kNames[i], "timeout"});
            out.push_back({kNames[i], "failed"});
        } else {
            out.push_back({kNames[i], ""});
        }
    }
    return out;
}

void *livewin_replace_import(HMODULE module, const char *dll, const char *name,
                             void *replacement)
{
    BYTE *base = (BYTE *)module;
    auto *dos = (IMAGE_DOS_HEADER *)base;
    auto *nt = (IMAGE_NT_HEADERS64 *)(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    for (auto *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; ++d) {
        if (_stricmp((const char *)(base + d->Name), dll) != 0)
            continue;
        auto *names = (IMAGE_THUNK_DATA64 *)(base + d->OriginalFirstThunk);
        auto *slots = (IMAGE_THUNK_DATA64 *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal))
                continue;
            auto *by_name = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (std::strcmp((const char *)by_name->Name, name) != 0)
                continue;
            DWORD old;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function,
                                PAGE_READWRITE, &old))
                return nullptr;
            void *previous = (void *)slots->u1.Function;
            slots->u1.Function = (ULONGLONG)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return previous;
        }
    }
    return nullptr;
}

// Every listed call must be found: a call the plug-in no longer imports, or
// a new one, is a change that the sweeps must know of.
std::string livewin_patch_imports(HMODULE plugin)
{
    for (int c = 0; c < C_COUNT; ++c) {
        const char *dll = c >= C_OpenProcess ? "KERNEL32.dll" : "USER32.dll";
        g_real[c] = livewin_replace_import(plugin, dll, kNames[c], kStandIns[c]);
        if (!g_real[c])
            return std::string("the plug-in does not import ") + kNames[c] + " from " + dll;
    }
    return std::string();
}

long livewin_calls(const std::string &call)
{
    int c = call_index(call);
    return c < 0 ? -1 : g_uses[c].load();
}

void livewin_calls_reset()
{
    for (int c = 0; c < C_COUNT; ++c) {
        g_fail_at[c] = 0;
        g_uses[c] = 0;
    }
    g_fired = 0;
}

bool livewin_fail_call(const LivewinFault &fault, long nth)
{
    int c = call_index(fault.call);
    if (c < 0 || c == C_CloseHandle || nth < 1)
        return false;
    if (c == C_WaitForSingleObject) {
        if (fault.variant != "timeout" && fault.variant != "failed")
            return false;
        g_variant[c] = fault.variant == "failed" ? 1 : 0;
    } else if (!fault.variant.empty()) {
        return false;
    }
    g_fail_at[c] = g_uses[c] + nth;
    return true;
}

long livewin_faults_fired()
{
    return g_fired;
}

long livewin_open_handles()
{
    std::lock_guard<std::mutex> lock(g_handles_mu);
    return (long)g_handles.size();
}

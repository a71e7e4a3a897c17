// Failure on demand for the Win32 calls of the real plug-in. The test
// program patches quenbrix.mxe64's import address table once it is loaded:
// every call below then goes through a stand-in that counts its uses and,
// when a test asks, fails on its n-th use from now with the failure value
// its documentation names, without rebuilding anything.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One way a call can fail: the call's name, and for WaitForSingleObject,
// which can fail in two ways, "timeout" (WAIT_TIMEOUT) or "failed"
// (WAIT_FAILED). The others answer as their documentation names:
//   null: GetWindow, GetForegroundWindow, SetFocus, SetActiveWindow,
//         OpenProcess
//   0 or FALSE: EnumWindows (the callback never called),
//         GetWindowThreadProcessId, GetClassNameA, GetWindowTextLengthW,
//         GetWindowTextW, IsIconic, IsWindow, IsWindowVisible, SetWindowPos,
//         AttachThreadInput, SetForegroundWindow, RegisterWindowMessageW,
//         QueryFullProcessImageNameW, GetModuleFileNameW, CreateProcessW;
//         ShowWindow does nothing and answers 0
//   -1: BroadcastSystemMessageW (nothing sent)
// Each failure sets the thread's last error too.
struct LivewinFault {
    std::string call;
    std::string variant; // empty but for WaitForSingleObject
    std::string label() const { return variant.empty() ? call : call + " (" + variant + ")"; }
};
std::vector<LivewinFault> livewin_faults();

// Patches the plug-in's imports; an empty string, or what went wrong.
std::string livewin_patch_imports(HMODULE plugin);

// Points one entry of a module's import table (`name` imported from `dll`)
// at `replacement`; returns what it pointed at, or null when there is no
// such import.
void *livewin_replace_import(HMODULE module, const char *dll, const char *name,
                             void *replacement);

// Uses of a call by the plug-in since livewin_calls_reset (which also
// disarms every failure), and the n-th use from now made to fail; false
// for a call or variant not listed above.
long livewin_calls(const std::string &call);
void livewin_calls_reset();
bool livewin_fail_call(const LivewinFault &fault, long nth);
long livewin_faults_fired();

// Handles that the plug-in's calls opened (OpenProcess, CreateProcessW) and
// it has not closed.
long livewin_open_handles();

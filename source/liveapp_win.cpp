// The Windows side of the quenbrix object: Live's windows through user32,
// the process check and the file hand-off through kernel32.
//
// Texts and paths from Windows are UTF-16; the host's 16-bit unit
// (unsigned short) and WCHAR are the same unit, so buffers pass between the
// two with a cast.
#include "liveapp.h"
#include "liveapp_atomic.h"
#include "liveapp_texts.h"

#include <string.h>
#include <windows.h>

// ---- process check ----

void liveapp_checkprocess(t_liveapp *x)
{
    WCHAR path[2048];
    DWORD units = 2048;
    BOOL ok = FALSE;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ,
                                 FALSE, GetCurrentProcessId());
    if (process) {
        ok = QueryFullProcessImageNameW(process, 0, path, &units);
        CloseHandle(process);
    }
    char *name = nullptr;
    if (ok && units <= 2048) {
        // The file name, without its folder and its extension.
        DWORD start = 0, end = units;
        for (DWORD i = 0; i < units; ++i)
            if (path[i] == L'\\' || path[i] == L'/')
                start = i + 1;
        for (DWORD i = units; i > start; --i)
            if (path[i - 1] == L'.') {
                end = i - 1;
                break;
            }
        long length = (long)(end - start);
        if (length > 256)
            length = 256;
        name = charset_unicodetoutf8((unsigned short *)(path + start), length, nullptr);
    }
    if (!name) {
        object_error((t_object *)x, "can't identify process");
        x->process_state = -1;
        return;
    }
    liveapp_checkprocess_name(x, name);
    sysmem_freeptr(name);
}

// ---- Live's main window ----

// Titles up to this many UTF-16 units, with their terminator, are read on
// the stack.
#define LIVEAPP_TITLE_ON_STACK 256

// The UTF-8 title (host memory) of a window that can be Live's main window:
// one of this process, without an owner, of Live's window class, with a
// title, and holding `must_hold` (UTF-16, null for anything). Null for any
// other window. `must_hold` is ASCII, so the UTF-16 title holds it exactly
// when the UTF-8 one would: titles without it are passed over before they
// are converted.
static char *liveapp_candidate_title(HWND window, const WCHAR *must_hold)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        return nullptr;
    if (GetWindow(window, GW_OWNER))
        return nullptr;
    char classname[256];
    if (!GetClassNameA(window, classname, (int)sizeof classname) ||
        strcmp(classname, LIVEAPP_WINDOW_CLASS) != 0)
        return nullptr;
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return nullptr;

    // A title that fits is read into a buffer on the stack, so that the
    // many windows a search passes over cost no host memory; a longer one
    // is read into host memory.
    WCHAR local[LIVEAPP_TITLE_ON_STACK];
    WCHAR *text = local;
    local[0] = 0;
    if (length >= LIVEAPP_TITLE_ON_STACK) {
        text = (WCHAR *)sysmem_newptrclear((t_ptr_size)(length + 1) * sizeof(WCHAR));
        if (!text)
            return nullptr;
    }
    int got = GetWindowTextW(window, text, length + 1);
    char *title = nullptr;
    if (!must_hold || wcsstr(text, must_hold))
        title = charset_unicodetoutf8((unsigned short *)text, got > 0 ? got : 0, nullptr);
    if (text != local)
        sysmem_freeptr(text);
    return title;
}

struct liveapp_search {
    t_liveapp *x;
    bool found;
};

static BOOL CALLBACK liveapp_enum_getname(HWND window, LPARAM param)
{
    struct liveapp_search *search = (struct liveapp_search *)param;
    char *title = liveapp_candidate_title(window, L"" LIVEAPP_TITLE_MARKER);
    if (!title)
        return TRUE;
    if (!liveapp_cleantitle(title)) {
        sysmem_freeptr(title);
        return TRUE;
    }
    outlet_anything(search->x->name_outlet, gensym(title), 0, nullptr);
    sysmem_freeptr(title);
    search->found = true;
    return FALSE;
}

void liveapp_do_getname(t_liveapp *x)
{
    if (x->process_state != 1) {
        object_error((t_object *)x,
                     "Live process not found (it doesn't work in Max / M4L editor)");
        return;
    }
    struct liveapp_search search = {x, false};
    EnumWindows(liveapp_enum_getname, (LPARAM)&search);
    if (!search.found)
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
}

// ---- front, savefocus, recallfocus ----

// Restores, raises and activates the window; says afterwards whether it is
// shown and in front, since the window system may refuse any step of it.
static bool liveapp_bring_to_front(HWND window)
{
    const UINT show = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE;
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, show);
    }

    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(GetForegroundWindow(), &process);
    if (process == GetCurrentProcessId()) {
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, show);
        SetForegroundWindow(window);
        SetFocus(window);
        SetActiveWindow(window);
        return !IsIconic(window) && GetForegroundWindow() == window;
    }

    // Another application is in front: borrow its input state so that the
    // window system lets this thread take the foreground.
    DWORD current = GetCurrentThreadId();
    AttachThreadInput(thread, current, TRUE);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, show);
    SetForegroundWindow(window);
    SetFocus(window);
    SetActiveWindow(window);
    AttachThreadInput(thread, current, FALSE);
    return !IsIconic(window) && GetForegroundWindow() == window;
}

static BOOL CALLBACK liveapp_enum_front(HWND window, LPARAM param)
{
    char *title = liveapp_candidate_title(window, nullptr);
    if (!title)
        return TRUE;
    bool live = strstr(title, "Ableton Live") != nullptr;
    sysmem_freeptr(title);
    if (!live)
        return TRUE;
    *(int *)param = liveapp_bring_to_front(window) ? 1 : -1;
    return FALSE;
}

void liveapp_do_front(t_liveapp *x)
{
    int found = 0; // 1 in front, -1 found but left behind
    EnumWindows(liveapp_enum_front, (LPARAM)&found);
    if (found == 0)
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
    else if (found < 0)
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_FRONTED);
}

// savefocus may run on the scheduler thread while recallfocus runs on the
// main thread: the saved handle is only ever written and read atomically.
// A handle is not owned, so there is nothing to release.
void liveapp_savefocus(t_liveapp *x)
{
    HWND window = GetForegroundWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!window || process != GetCurrentProcessId()) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_ACTIVE);
        return;
    }
    liveapp_atomic_exchange_ptr(&x->saved_window, window);
}

void liveapp_do_recallfocus(t_liveapp *x)
{
    HWND window = (HWND)liveapp_atomic_load_ptr(&x->saved_window);
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOTHING_SAVED);
        return;
    }
    // The handle is not owned: the window may have closed since, and its
    // handle may now name a window of another program. A window that Live
    // hid is as good as closed and is not shown again from here, also when
    // it was minimised before it was hidden (it stays iconic then); a
    // minimised window that was not hidden is still visible to Windows, and
    // is restored.
    DWORD process = 0;
    if (!IsWindow(window) || !GetWindowThreadProcessId(window, &process) ||
        process != GetCurrentProcessId() || !IsWindowVisible(window)) {
        object_error((t_object *)x, LIVEAPP_TEXT_WINDOW_GONE);
        // Forgotten, unless a savefocus has saved another one meanwhile.
        liveapp_atomic_cas_ptr(&x->saved_window, window, nullptr);
        return;
    }
    if (!liveapp_bring_to_front(window))
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_FRONTED);
}

// ---- addfile ----
//
// Every accepted request gets a hand-off record of its own, with its own
// copy of the native path and the handle of its object, made on the main
// thread. The worker thread gets the record, never the object, and reads
// nothing else. When it is done it queues the record back to the main
// thread through the courier, whatever has become of the object meanwhile;
// there the record is freed, and the object, looked up by its handle, gets
// its outcome if it still lives. So the record has one owner at a time
// (the worker, then the main thread), nothing is shared between threads
// but the queue, and deleting an object need not know its hand-offs.

struct liveapp_handoff {
    t_atom_long owner;           // the handle of the object that asked
    t_symbol *file;              // the file as the patch named it
    bool started;                // set by the worker: Live was started
    char native[MAX_PATH_CHARS]; // the file's native path
};

// Main thread: a worker has finished and handed its record back.
static void liveapp_handoff_done(void *, t_symbol *, short argc, t_atom *argv)
{
    if (argc < 1 || !argv || argv[0].a_type != A_OBJ)
        return;
    struct liveapp_handoff *h = (struct liveapp_handoff *)argv[0].a_w.w_obj;
    t_liveapp *x = liveapp_alive(h->owner);
    t_symbol *file = h->file;
    bool started = h->started;
    sysmem_freeptr(h);
    if (!x)
        return;
    if (!started) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_GIVEN, file->s_name);
        liveapp_addfile_output(x, gensym(LIVEAPP_RESULT_ERROR));
        return;
    }
    liveapp_addfile_succeeded(x);
}

// Appends a native path in double quotes so that the started program reads
// it back as one argument: backslashes right before the closing quote are
// doubled, or the last one would escape the quote.
static void liveapp_append_quoted(t_string *line, const char *path)
{
    size_t n = strlen(path), trailing = 0;
    while (trailing < n && path[n - 1 - trailing] == '\\')
        ++trailing;
    string_append(line, "\"");
    string_append(line, path);
    char extra[MAX_PATH_CHARS];
    if (trailing >= sizeof extra)
        trailing = sizeof extra - 1;
    memset(extra, '\\', trailing);
    extra[trailing] = '\0';
    string_append(line, extra);
    string_append(line, "\"");
}

// Starts this program's executable again with the file on its command line,
// the way Live opens a file handed to it, and waits for that start to end.
// True when Live was started with the file: also when the wait runs out or
// fails, since the start itself has the file by then. False when the
// executable's path, the command line or the start failed.
static bool liveapp_launch(const char *native)
{
    WCHAR exe[2048];
    DWORD units = GetModuleFileNameW(nullptr, exe, 2048);
    if (units == 0 || units >= 2048)
        return false;
    char *exe8 = charset_unicodetoutf8((unsigned short *)exe, (long)units, nullptr);
    if (!exe8)
        return false;
    // The executable is quoted too: Live lives in a folder with blanks in its
    // name, and unquoted, Windows would try each blank-separated prefix of
    // the path as a program of its own and hand Live the pieces as
    // arguments.
    t_string *line = string_new("");
    if (!line) {
        sysmem_freeptr(exe8);
        return false;
    }
    liveapp_append_quoted(line, exe8);
    string_append(line, " ");
    liveapp_append_quoted(line, native);
    WCHAR *command = (WCHAR *)charset_utf8tounicode((char *)string_getptr(line), nullptr);

    bool started_live = false;
    if (command) {
        STARTUPINFOW startup;
        PROCESS_INFORMATION started;
        memset(&startup, 0, sizeof startup);
        memset(&started, 0, sizeof started);
        startup.cb = sizeof startup;
        if (CreateProcessW(nullptr, command, nullptr, nullptr, FALSE,
                           CREATE_NO_WINDOW | HIGH_PRIORITY_CLASS, nullptr, nullptr,
                           &startup, &started)) {
            started_live = true;
            WaitForSingleObject(started.hProcess, 10000);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
        sysmem_freeptr(command);
    }
    freeobject((t_object *)line);
    sysmem_freeptr(exe8);
    return started_live;
}

static void *liveapp_addfile_thread(struct liveapp_handoff *h)
{
    bool started = liveapp_launch(h->native);
    systhread_sleep(700);
    // The record goes back to the main thread with the outcome; from here
    // on it is not ours.
    h->started = started;
    t_atom record;
    record.a_type = A_OBJ;
    record.a_w.w_obj = (t_object *)h;
    liveapp_defer_courier(LIVEAPP_METHOD(liveapp_handoff_done), nullptr, 1, &record);
    systhread_exit(0);
    return nullptr;
}

void liveapp_handoff(t_liveapp *x, t_symbol *file, const char *native)
{
    struct liveapp_handoff *h =
        (struct liveapp_handoff *)sysmem_newptrclear(sizeof(struct liveapp_handoff));
    t_systhread thread = nullptr;
    if (h) {
        h->owner = x->handle;
        h->file = file;
        strncpy(h->native, native, MAX_PATH_CHARS - 1);
        if (systhread_create(LIVEAPP_METHOD(liveapp_addfile_thread), h, 0, 1, 0,
                             &thread) == 0) {
            // Running: nothing waits for it; its record brings the outcome back.
            if (thread)
                systhread_detach(thread);
            return;
        }
        sysmem_freeptr(h);
    }
    object_error((t_object *)x, "can't start the file hand-off");
    liveapp_addfile_output(x, gensym(LIVEAPP_RESULT_ERROR));
}

// ---- bang ----

void liveapp_bang(t_liveapp *x)
{
    object_post((t_object *)x, "register window mess");
    UINT message = RegisterWindowMessageW(L"Ableton.Live.shm1.global");
    if (message == 0) {
        // Message 0 is WM_NULL: nothing to broadcast.
        object_error((t_object *)x, "error registering window message");
        return;
    }
    object_post((t_object *)x, "registered window message %x", message);
    DWORD recipients = BSM_APPLICATIONS;
    if (BroadcastSystemMessageW(BSF_IGNORECURRENTTASK | BSF_POSTMESSAGE, &recipients,
                                message, 0, 0) < 0)
        object_error((t_object *)x, LIVEAPP_TEXT_NO_BROADCAST);
}

// ---- deletion ----

// Nothing to let go of: the saved window is a handle, not owned, and a
// hand-off still running holds its object's handle only, which finds
// nothing once the object is gone.
void liveapp_release(t_liveapp *) {}

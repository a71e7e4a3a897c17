// The macOS side of quenbrix: Live's windows through AppKit, the process
// through the BSD calls, and the file hand-off through the workspace.
//
// AppKit and Foundation are reached through the Objective-C runtime alone
// (classes and selectors looked up by name, messages sent with
// objc_msgSend), so this stays a plain C++ file with no framework headers.
#include "liveapp.h"
#include "liveapp_atomic.h"
#include "liveapp_texts.h"

#include <libproc.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <string.h>
#include <unistd.h>

// NSUInteger on both macOS targets.
typedef unsigned long liveapp_nsuint;

// NSApplicationActivateIgnoringOtherApps
#define LIVEAPP_ACTIVATE_IGNORING_OTHER_APPS ((liveapp_nsuint)1 << 1)

// NSWindowStyleMaskTitled and NSWindowStyleMaskResizable
#define LIVEAPP_STYLE_TITLED ((liveapp_nsuint)1 << 0)
#define LIVEAPP_STYLE_RESIZABLE ((liveapp_nsuint)1 << 3)

// The buffer that the BSD calls fill with a process name or path.
#define LIVEAPP_PROC_BUFFER 4096

// Sends `selector` to `receiver` with arguments of exactly the types given.
// objc_msgSend has no type of its own: it must be called through a pointer
// of the method's real type, or arguments and results land in the wrong
// registers. A nil receiver answers zero.
template <typename R, typename... A>
static R liveapp_send(id receiver, const char *selector, A... args)
{
    typedef R (*send_fn)(id, SEL, A...);
    send_fn send = (send_fn)(void (*)(void))objc_msgSend;
    return send(receiver, sel_registerName(selector), args...);
}

static id liveapp_objc_class(const char *name)
{
    return (id)objc_getClass(name);
}

static id liveapp_shared_app(void)
{
    return liveapp_send<id>(liveapp_objc_class("NSApplication"), "sharedApplication");
}

// The window's title as UTF-8; null when it cannot be read (AppKit gives
// every window a title, if only an empty one).
static const char *liveapp_window_title(id window)
{
    id title = liveapp_send<id>(window, "title");
    return title ? liveapp_send<const char *>(title, "UTF8String") : nullptr;
}

void liveapp_checkprocess(t_liveapp *x)
{
    char name[LIVEAPP_PROC_BUFFER];
    if (proc_name(getpid(), name, sizeof name) < 1) {
        object_error((t_object *)x, "error getting process name");
        x->process_state = -1;
        return;
    }
    name[sizeof name - 1] = '\0';
    liveapp_checkprocess_name(x, name);
}

// What a window is to the search for Live's main window.
enum { LIVEAPP_NOT_MAIN, LIVEAPP_MAIN, LIVEAPP_TITLE_UNREADABLE };

// Whether the window can be Live's main window: it has a title, and it can
// become the main window now or could once it is back from the Dock. AppKit
// says canBecomeMainWindow only of a visible window, and a minimised one is
// not visible; for that one its rule is applied here: not a panel, and a
// title bar or a resize control. The title, as read for the test, goes to
// *title: a second read could answer differently.
static int liveapp_main_candidate(id window, const char **title)
{
    const char *text = liveapp_window_title(window);
    if (!text)
        return LIVEAPP_TITLE_UNREADABLE;
    if (text[0] == '\0')
        return LIVEAPP_NOT_MAIN;
    *title = text;
    if (liveapp_send<BOOL>(window, "canBecomeMainWindow"))
        return LIVEAPP_MAIN;
    if (!liveapp_send<BOOL>(window, "isMiniaturized") ||
        liveapp_send<BOOL>(window, "isKindOfClass:", liveapp_objc_class("NSPanel")))
        return LIVEAPP_NOT_MAIN;
    liveapp_nsuint style = liveapp_send<liveapp_nsuint>(window, "styleMask");
    return (style & (LIVEAPP_STYLE_TITLED | LIVEAPP_STYLE_RESIZABLE)) != 0 ? LIVEAPP_MAIN
                                                                          : LIVEAPP_NOT_MAIN;
}

// Live's main window: the application's main window when it passes the
// tests, else the first window of the application's list that does. AppKit
// promises no order for that list, so the main window comes first wherever
// there is one. Nil when no window passes. Its title goes to `title` when
// that is not null. A title that cannot be read ends the search with nil:
// that window may be the main one, and the next candidate would be the
// wrong one.
static id liveapp_find_window(const char **title)
{
    const char *text = nullptr;
    if (!title)
        title = &text;
    id app = liveapp_shared_app();
    id main = liveapp_send<id>(app, "mainWindow");
    if (main) {
        int found = liveapp_main_candidate(main, title);
        if (found != LIVEAPP_NOT_MAIN)
            return found == LIVEAPP_MAIN ? main : nullptr;
    }
    id windows = liveapp_send<id>(app, "windows");
    liveapp_nsuint count = liveapp_send<liveapp_nsuint>(windows, "count");
    for (liveapp_nsuint i = 0; i < count; ++i) {
        id window = liveapp_send<id>(windows, "objectAtIndex:", i);
        int found = liveapp_main_candidate(window, title);
        if (found != LIVEAPP_NOT_MAIN)
            return found == LIVEAPP_MAIN ? window : nullptr;
    }
    return nullptr;
}

// Whether the application still has this window.
static bool liveapp_app_has_window(id window)
{
    id windows = liveapp_send<id>(liveapp_shared_app(), "windows");
    liveapp_nsuint count = liveapp_send<liveapp_nsuint>(windows, "count");
    for (liveapp_nsuint i = 0; i < count; ++i)
        if (liveapp_send<id>(windows, "objectAtIndex:", i) == window)
            return true;
    return false;
}

// Makes Live the active application, also from behind another one. Without
// the running application object there is nobody to ask, and x says so.
static void liveapp_activate(t_liveapp *x)
{
    if (liveapp_send<BOOL>(liveapp_shared_app(), "isActive"))
        return;
    id running = liveapp_send<id>(liveapp_objc_class("NSRunningApplication"),
                                  "currentApplication");
    if (!running) {
        object_error((t_object *)x, LIVEAPP_TEXT_CANT_ACTIVATE);
        return;
    }
    liveapp_send<BOOL>(running, "activateWithOptions:",
                       LIVEAPP_ACTIVATE_IGNORING_OTHER_APPS);
}

void liveapp_do_getname(t_liveapp *x)
{
    const char *title = nullptr;
    id window = liveapp_find_window(&title);
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
        return;
    }
    outlet_anything(x->name_outlet, gensym(title), 0, nullptr);
}

void liveapp_do_front(t_liveapp *x)
{
    id window = liveapp_find_window(nullptr);
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
        return;
    }
    liveapp_activate(x);
    if (liveapp_send<BOOL>(window, "isMiniaturized"))
        liveapp_send<void>(window, "deminiaturize:", (id) nullptr);
    liveapp_send<void>(window, "makeKeyAndOrderFront:", (id) nullptr);
}

// ---- savefocus and recallfocus ----
//
// savefocus runs on whatever thread delivers it, often the scheduler's.
// There it only reads (isActive, keyWindow) and takes its own reference to
// the key window (retain, which any thread may send), then swaps it into the
// record with a compare-and-swap. The window it replaces is released on the
// main thread, where AppKit wants a window's last release: at once when
// savefocus runs there, otherwise through a call queued to the courier,
// which runs whatever has become of the object meanwhile. So every window
// retained is released exactly once, and no savefocus is ever skipped.
// Deleting the object swaps in LIVEAPP_FREED; a savefocus that comes upon
// it, delivered while the object is being freed, keeps nothing.

#define LIVEAPP_FREED ((void *)1) // the object is being freed

static bool liveapp_on_main_thread(void)
{
    return liveapp_send<BOOL>(liveapp_objc_class("NSThread"), "isMainThread");
}

static void liveapp_queued_release(void *, t_symbol *, short argc, t_atom *argv)
{
    if (argc >= 1 && argv && argv[0].a_type == A_OBJ)
        liveapp_send<void>((id)argv[0].a_w.w_obj, "release");
}

// Releases a window on the main thread: now, or as soon as it runs there.
static void liveapp_release_window(id window)
{
    if (!window)
        return;
    if (liveapp_on_main_thread()) {
        liveapp_send<void>(window, "release");
        return;
    }
    t_atom atom;
    atom.a_type = A_OBJ;
    atom.a_w.w_obj = (t_object *)window;
    liveapp_defer_courier(LIVEAPP_METHOD(liveapp_queued_release), nullptr, 1, &atom);
}

void liveapp_savefocus(t_liveapp *x)
{
    id app = liveapp_shared_app();
    if (!liveapp_send<BOOL>(app, "isActive")) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_ACTIVE);
        return;
    }
    id key = liveapp_send<id>(app, "keyWindow");
    void *saved = liveapp_atomic_load_ptr(&x->saved_window);
    // Saved already (a metro saving the same window, say): nothing changes.
    if (saved == (void *)key || saved == LIVEAPP_FREED)
        return;
    if (key)
        liveapp_send<id>(key, "retain");
    while (!liveapp_atomic_cas_ptr(&x->saved_window, saved, key)) {
        // Another savefocus came first, or the object is being freed.
        saved = liveapp_atomic_load_ptr(&x->saved_window);
        if (saved == (void *)key || saved == LIVEAPP_FREED) {
            liveapp_release_window(key);
            return;
        }
    }
    liveapp_release_window((id)saved);
}

// Main thread: lets go of the saved window, unless a savefocus has replaced
// it meanwhile (then that savefocus releases it).
static void liveapp_forget(t_liveapp *x, id window)
{
    if (liveapp_atomic_cas_ptr(&x->saved_window, window, nullptr))
        liveapp_send<void>(window, "release");
}

void liveapp_do_recallfocus(t_liveapp *x)
{
    id window = (id)liveapp_atomic_load_ptr(&x->saved_window);
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOTHING_SAVED);
        return;
    }
    // A window that Live closed stays an object while it is retained, and
    // may stay in the application's list; one that is neither visible nor
    // in the Dock is not coming back, and is never reopened from here.
    bool exists = liveapp_app_has_window(window);
    bool visible = exists && liveapp_send<BOOL>(window, "isVisible");
    bool minimised = exists && !visible && liveapp_send<BOOL>(window, "isMiniaturized");
    if (!visible && !minimised) {
        object_error((t_object *)x, LIVEAPP_TEXT_WINDOW_GONE);
        liveapp_forget(x, window);
        return;
    }
    liveapp_activate(x);
    if (minimised)
        liveapp_send<void>(window, "deminiaturize:", (id) nullptr);
    liveapp_send<void>(window, "makeKeyAndOrderFront:", (id) nullptr);
}

// ---- addfile ----

// The application bundle around an executable: the path up to the last
// ".app" folder that holds it; the path unchanged when there is none.
static void liveapp_bundle_path(char *path)
{
    char *bundle = nullptr;
    for (char *p = strstr(path, ".app/"); p; p = strstr(p + 1, ".app/"))
        bundle = p;
    if (bundle)
        bundle[4] = '\0';
}

void liveapp_handoff(t_liveapp *x, t_symbol *file, const char *native)
{
    char app_path[LIVEAPP_PROC_BUFFER];
    if (proc_pidpath(getpid(), app_path, sizeof app_path) <= 0) {
        object_error((t_object *)x, "error getting process path");
        liveapp_addfile_error(x);
        return;
    }
    app_path[sizeof app_path - 1] = '\0';
    // The workspace takes an application's name or its bundle's path.
    liveapp_bundle_path(app_path);

    id string_class = liveapp_objc_class("NSString");
    id file_string = liveapp_send<id>(string_class, "stringWithUTF8String:", native);
    id app_string = liveapp_send<id>(string_class, "stringWithUTF8String:",
                                     (const char *)app_path);
    id workspace = liveapp_send<id>(liveapp_objc_class("NSWorkspace"), "sharedWorkspace");
    // Neither string may be missing: without the file there is nothing to
    // open, and without the application the workspace would hand the file
    // to whatever application opens its type, not to Live.
    if (!file_string || !app_string ||
        !liveapp_send<BOOL>(workspace, "openFile:withApplication:", file_string,
                            app_string)) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_GIVEN, file->s_name);
        liveapp_addfile_error(x);
        return;
    }
    liveapp_addfile_succeeded(x);
}

// bang has no work on macOS.
void liveapp_bang(t_liveapp *) {}

void liveapp_release(t_liveapp *x)
{
    id window = (id)liveapp_atomic_exchange_ptr(&x->saved_window, LIVEAPP_FREED);
    if (window)
        liveapp_send<void>(window, "release");
}

// The macOS side of quenbrix: Live's windows through AppKit, the process
// through the BSD calls, and the file hand-off through the workspace.
//
// AppKit and Foundation are reached through the Objective-C runtime alone
// (classes and selectors looked up by name, messages sent with
// objc_msgSend), so this stays a plain C++ file with no framework headers.
#include "liveapp.h"
#include "liveapp_texts.h"

#include <libproc.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <unistd.h>

// NSUInteger on both macOS targets.
typedef unsigned long liveapp_nsuint;

// NSApplicationActivateIgnoringOtherApps
#define LIVEAPP_ACTIVATE_IGNORING_OTHER_APPS ((liveapp_nsuint)1 << 1)

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

// The window's title as UTF-8; the empty string when it has none.
static const char *liveapp_window_title(id window)
{
    id title = liveapp_send<id>(window, "title");
    const char *text = title ? liveapp_send<const char *>(title, "UTF8String") : nullptr;
    return text ? text : "";
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

// Live's main window: the first of the application's windows, in the list's
// order, with a title that can become the main window. Nil when none can.
static id liveapp_find_window(void)
{
    id windows = liveapp_send<id>(liveapp_shared_app(), "windows");
    liveapp_nsuint count = liveapp_send<liveapp_nsuint>(windows, "count");
    for (liveapp_nsuint i = 0; i < count; ++i) {
        id window = liveapp_send<id>(windows, "objectAtIndex:", i);
        if (liveapp_window_title(window)[0] == '\0')
            continue;
        if (liveapp_send<BOOL>(window, "canBecomeMainWindow"))
            return window;
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

// Makes Live the active application, also from behind another one.
static void liveapp_activate(void)
{
    if (liveapp_send<BOOL>(liveapp_shared_app(), "isActive"))
        return;
    id running = liveapp_send<id>(liveapp_objc_class("NSRunningApplication"),
                                  "currentApplication");
    liveapp_send<BOOL>(running, "activateWithOptions:",
                       LIVEAPP_ACTIVATE_IGNORING_OTHER_APPS);
}

void liveapp_do_getname(t_liveapp *x)
{
    id window = liveapp_find_window();
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
        return;
    }
    t_symbol *name = gensym(liveapp_window_title(window));
    outlet_anything(x->name_outlet, name, 0, nullptr);
}

void liveapp_do_front(t_liveapp *x)
{
    id window = liveapp_find_window();
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NO_WINDOW);
        return;
    }
    liveapp_activate();
    liveapp_send<void>(window, "makeKeyAndOrderFront:", (id) nullptr);
}

// The saved window is retained, so that it stays a valid object however
// long it waits for recallfocus, even after the application has closed it.
void liveapp_savefocus(t_liveapp *x)
{
    id app = liveapp_shared_app();
    if (!liveapp_send<BOOL>(app, "isActive")) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOT_ACTIVE);
        return;
    }
    id key = liveapp_send<id>(app, "keyWindow");
    if (key)
        liveapp_send<id>(key, "retain");
    if (x->saved_window)
        liveapp_send<void>((id)x->saved_window, "release");
    x->saved_window = key;
}

void liveapp_do_recallfocus(t_liveapp *x)
{
    id window = (id)x->saved_window;
    if (!window) {
        object_error((t_object *)x, LIVEAPP_TEXT_NOTHING_SAVED);
        return;
    }
    if (!liveapp_app_has_window(window)) {
        object_error((t_object *)x, LIVEAPP_TEXT_WINDOW_GONE);
        return;
    }
    liveapp_activate();
    liveapp_send<void>(window, "makeKeyAndOrderFront:", (id) nullptr);
}

void liveapp_handoff(t_liveapp *x, t_symbol *file)
{
    t_symbol *absolute = nullptr;
    if (path_absolutepath(&absolute, file, nullptr, 0) != 0 || !absolute) {
        liveapp_addfile_failed(x, file);
        return;
    }

    char app_path[LIVEAPP_PROC_BUFFER];
    if (proc_pidpath(getpid(), app_path, sizeof app_path) <= 0) {
        object_error((t_object *)x, "error getting process path");
        liveapp_addfile_error(x);
        return;
    }
    app_path[sizeof app_path - 1] = '\0';

    char native[MAX_PATH_CHARS];
    native[0] = '\0';
    path_nameconform(absolute->s_name, native, PATH_STYLE_NATIVE, PATH_TYPE_BOOT);

    id string_class = liveapp_objc_class("NSString");
    id file_string = liveapp_send<id>(string_class, "stringWithUTF8String:",
                                      (const char *)native);
    id app_string = liveapp_send<id>(string_class, "stringWithUTF8String:",
                                     (const char *)app_path);
    id workspace = liveapp_send<id>(liveapp_objc_class("NSWorkspace"), "sharedWorkspace");
    liveapp_send<BOOL>(workspace, "openFile:withApplication:", file_string, app_string);

    liveapp_addfile_succeeded(x);
}

// bang has no work on macOS.
void liveapp_bang(t_liveapp *) {}

void liveapp_release(t_liveapp *x)
{
    if (x->saved_window)
        liveapp_send<void>((id)x->saved_window, "release");
    x->saved_window = nullptr;
}

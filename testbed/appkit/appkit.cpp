// The model of AppKit and Foundation: NSApplication with its windows list,
// active state, key and main window; NSRunningApplication's activation;
// NSWorkspace's openFile:withApplication:; NSThread's isMainThread; NSWindow
// (visible, minimised, closed) and NSPanel, NSString and NSArray.
//
// As in AppKit, a closed window leaves the screen but stays in the
// application's windows list for as long as anything else retains it, and
// makeKeyAndOrderFront: shows it again; it does not bring a minimised
// window out of the Dock, deminiaturize: does. Whether a window can become
// main follows AppKit's documented rule, not a flag of its own. The active
// state and the key
// window may be read from any thread; the rest is the main thread's.
// Methods are plain functions (self, _cmd, arguments...), as the runtime
// calls them. Like Cocoa, convenience constructors and the windows list
// hand out autoreleased objects; a title belongs to its window.
#include "objects.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

struct String : objc_object {
    std::string text;
};

struct Array : objc_object {
    std::vector<id> items;
    void dealloc() override
    {
        for (id item : items)
            appkit::release(item);
        items.clear();
    }
};

struct Window : objc_object {
    id title = nullptr;
    bool panel = false;
    unsigned long style = appkit::STYLE_TITLED | appkit::STYLE_RESIZABLE;
    bool visible = true;
    bool miniaturized = false;
    bool closed = false; // closed: the application no longer holds it
    void dealloc() override;
};

struct AppKit {
    id application = nullptr;
    id running_application = nullptr;
    id workspace = nullptr;
    std::vector<id> windows; // held with one retain each, until closed
    std::atomic<bool> active{false};
    std::atomic<id> key_window{nullptr};
    id main_window = nullptr;
    appkit::ListOrder order = appkit::ListOrder::as_made;
    BOOL open_result = YES;
    std::vector<unsigned long> activations;
    std::vector<id> fronted;
    std::vector<appkit::OpenRequest> open_requests;
    bool has_name = true, has_path = true;
    std::string process_name = "Live";
    std::string process_path = "/Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live";
};

AppKit &kit()
{
    static AppKit k;
    return k;
}

void Window::dealloc()
{
    if (kit().main_window == this)
        kit().main_window = nullptr;
    if (title)
        appkit::release(title);
    title = nullptr;
    auto &list = kit().windows;
    list.erase(std::remove(list.begin(), list.end(), (id)this), list.end());
}

[[noreturn]] void model_fault(const char *what)
{
    std::fprintf(stderr, "appkit: %s\n", what);
    std::abort();
}

String *new_string(const char *text)
{
    String *s = appkit::make<String>("NSString");
    s->text = text;
    return s;
}

const std::string &text_of(id string)
{
    if (!string || string->isa != objc_getClass("NSString"))
        model_fault("an NSString was expected");
    return static_cast<String *>(string)->text;
}

Window *as_window(id window)
{
    if (!window ||
        (window->isa != objc_getClass("NSWindow") && window->isa != objc_getClass("NSPanel")))
        model_fault("an NSWindow was expected");
    return static_cast<Window *>(window);
}

// A window leaving the screen is no longer key or main.
void leave_screen(id window)
{
    if (kit().key_window == window)
        kit().key_window = nullptr;
    if (kit().main_window == window)
        kit().main_window = nullptr;
}

// NSApplication
id app_shared(id, SEL)
{
    if (!kit().application)
        kit().application = appkit::make_singleton<objc_object>("NSApplication");
    return kit().application;
}

id app_windows(id, SEL)
{
    if (appkit::fails("windows"))
        return nullptr;
    Array *list = appkit::make<Array>("NSArray");
    for (id w : kit().windows)
        list->items.push_back(appkit::retain(w));
    if (kit().order == appkit::ListOrder::reversed)
        std::reverse(list->items.begin(), list->items.end());
    return appkit::autorelease(list);
}

id app_main_window(id, SEL)
{
    return kit().active ? kit().main_window : nullptr;
}

BOOL app_is_active(id, SEL)
{
    return kit().active ? YES : NO;
}

id app_key_window(id, SEL)
{
    return kit().key_window;
}

// NSRunningApplication
id running_current(id, SEL)
{
    if (appkit::fails("currentApplication"))
        return nullptr;
    if (!kit().running_application)
        kit().running_application =
            appkit::make_singleton<objc_object>("NSRunningApplication");
    return kit().running_application;
}

BOOL running_activate(id, SEL, unsigned long options)
{
    kit().activations.push_back(options);
    kit().active = true;
    return YES;
}

// NSWorkspace
id workspace_shared(id, SEL)
{
    if (appkit::fails("sharedWorkspace"))
        return nullptr;
    if (!kit().workspace)
        kit().workspace = appkit::make_singleton<objc_object>("NSWorkspace");
    return kit().workspace;
}

// A nil application means the default one for the file's type, as AppKit
// documents; a nil file, which AppKit does not allow, opens nothing.
BOOL workspace_open(id, SEL, id file, id application)
{
    if (appkit::fails("openFile:withApplication:") || !file)
        return NO;
    kit().open_requests.push_back(
        {text_of(file), application ? text_of(application) : std::string()});
    return kit().open_result;
}

// NSThread
BOOL thread_is_main(id, SEL)
{
    return appkit::on_main_thread() ? YES : NO;
}

// NSString
// AppKit raises an exception for NULL, which nothing here could catch.
id string_with_utf8(id, SEL, const char *text)
{
    if (!text)
        model_fault("stringWithUTF8String: with NULL");
    if (appkit::fails("stringWithUTF8String:"))
        return nullptr;
    return appkit::autorelease(new_string(text));
}

const char *string_utf8(id self, SEL)
{
    return text_of(self).c_str();
}

// NSArray
unsigned long array_count(id self, SEL)
{
    return static_cast<Array *>(self)->items.size();
}

id array_object_at(id self, SEL, unsigned long index)
{
    auto &items = static_cast<Array *>(self)->items;
    if (index >= items.size())
        model_fault("objectAtIndex: beyond the end of the array");
    return items[index];
}

// NSWindow
id window_title(id self, SEL)
{
    Window *w = as_window(self);
    return appkit::fails("title") ? nullptr : w->title;
}

bool can_become_main(Window *w)
{
    return w->visible && !w->panel &&
           (w->style & (appkit::STYLE_TITLED | appkit::STYLE_RESIZABLE)) != 0;
}

BOOL window_can_become_main(id self, SEL)
{
    return can_become_main(as_window(self)) ? YES : NO;
}

unsigned long window_style_mask(id self, SEL)
{
    return as_window(self)->style;
}

BOOL window_is_visible(id self, SEL)
{
    return as_window(self)->visible ? YES : NO;
}

BOOL window_is_miniaturized(id self, SEL)
{
    return as_window(self)->miniaturized ? YES : NO;
}

void window_deminiaturize(id self, SEL, id)
{
    Window *w = as_window(self);
    w->miniaturized = false;
    w->visible = true;
}

void window_make_key_and_order_front(id self, SEL, id)
{
    Window *w = as_window(self);
    kit().fronted.push_back(self);
    if (w->miniaturized)
        return; // stays in the Dock
    w->visible = true;
    kit().key_window = self;
    if (can_become_main(w))
        kit().main_window = self;
}

} // namespace

namespace appkit {

void define_appkit()
{
    Class app = define_class("NSApplication", "NSObject");
    add_class_method(app, "sharedApplication", imp(app_shared));
    add_method(app, "windows", imp(app_windows));
    add_method(app, "isActive", imp(app_is_active));
    add_method(app, "keyWindow", imp(app_key_window));
    add_method(app, "mainWindow", imp(app_main_window));

    Class running = define_class("NSRunningApplication", "NSObject");
    add_class_method(running, "currentApplication", imp(running_current));
    add_method(running, "activateWithOptions:", imp(running_activate));

    Class workspace = define_class("NSWorkspace", "NSObject");
    add_class_method(workspace, "sharedWorkspace", imp(workspace_shared));
    add_method(workspace, "openFile:withApplication:", imp(workspace_open));

    Class thread = define_class("NSThread", "NSObject");
    add_class_method(thread, "isMainThread", imp(thread_is_main));

    Class string = define_class("NSString", "NSObject");
    add_class_method(string, "stringWithUTF8String:", imp(string_with_utf8));
    add_method(string, "UTF8String", imp(string_utf8));

    Class array = define_class("NSArray", "NSObject");
    add_method(array, "count", imp(array_count));
    add_method(array, "objectAtIndex:", imp(array_object_at));

    Class window = define_class("NSWindow", "NSObject");
    add_method(window, "title", imp(window_title));
    add_method(window, "canBecomeMainWindow", imp(window_can_become_main));
    add_method(window, "makeKeyAndOrderFront:", imp(window_make_key_and_order_front));
    add_method(window, "isVisible", imp(window_is_visible));
    add_method(window, "isMiniaturized", imp(window_is_miniaturized));
    add_method(window, "deminiaturize:", imp(window_deminiaturize));
    add_method(window, "styleMask", imp(window_style_mask));
    define_class("NSPanel", "NSWindow");
}

void reset_appkit()
{
    for (id w : std::vector<id>(kit().windows))
        if (!as_window(w)->closed)
            release(w);
    AppKit &k = kit();
    k.application = k.running_application = k.workspace = nullptr;
    k.windows.clear();
    k.active = false;
    k.key_window = nullptr;
    k.main_window = nullptr;
    k.order = ListOrder::as_made;
    k.open_result = YES;
    k.activations.clear();
    k.fronted.clear();
    k.open_requests.clear();
    k.has_name = k.has_path = true;
    k.process_name = "Live";
    k.process_path = "/Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live";
    reset_calls();
}

id add_window(const char *title, bool can_become_main)
{
    objc_getClass("NSWindow"); // the classes exist from the first use on
    Window *w = make<Window>(can_become_main ? "NSWindow" : "NSPanel");
    w->title = new_string(title);
    w->panel = !can_become_main;
    kit().windows.push_back(w);
    return w;
}

void set_title(id window, const char *title)
{
    Window *w = as_window(window);
    release(w->title);
    w->title = new_string(title);
}

void set_style(id window, unsigned long style_mask)
{
    as_window(window)->style = style_mask;
}

void set_list_order(ListOrder order)
{
    kit().order = order;
}

id main_window()
{
    return kit().main_window;
}

void set_main_window(id window)
{
    if (!can_become_main(as_window(window)))
        model_fault("set_main_window: AppKit would not make this window main");
    kit().main_window = window;
    kit().key_window = window;
}

void close_window(id window)
{
    auto &list = kit().windows;
    Window *w = as_window(window);
    if (w->closed || std::find(list.begin(), list.end(), window) == list.end())
        model_fault("close_window: not one of the application's open windows");
    w->closed = true;
    w->visible = false;
    w->miniaturized = false; // its counterpart leaves the Dock with it
    leave_screen(window);
    release(window); // gone from the list once nothing else holds it
}

void miniaturize(id window)
{
    Window *w = as_window(window);
    w->miniaturized = true;
    w->visible = false;
    leave_screen(window);
}

// Taken off the screen list, a minimised window's counterpart leaves the
// Dock too: it is hidden now, no longer minimised.
void order_out(id window)
{
    Window *w = as_window(window);
    w->visible = false;
    w->miniaturized = false;
    leave_screen(window);
}

bool visible(id window)
{
    return as_window(window)->visible;
}

std::vector<id> windows()
{
    return kit().windows;
}

std::vector<id> open_windows()
{
    std::vector<id> out;
    for (id w : kit().windows)
        if (!as_window(w)->closed)
            out.push_back(w);
    return out;
}

void set_open_result(bool ok)
{
    kit().open_result = ok ? YES : NO;
}

void set_active(bool active)
{
    kit().active = active;
}

bool active()
{
    return kit().active;
}

void set_key_window(id window)
{
    kit().key_window = window;
}

id key_window()
{
    return kit().key_window;
}

std::vector<unsigned long> activations()
{
    return kit().activations;
}

std::vector<id> fronted()
{
    return kit().fronted;
}

std::vector<OpenRequest> open_requests()
{
    return kit().open_requests;
}

void set_process_name(const char *name)
{
    kit().has_name = name != nullptr;
    kit().process_name = name ? name : "";
}

void set_process_path(const char *path)
{
    kit().has_path = path != nullptr;
    kit().process_path = path ? path : "";
}

void clear_records()
{
    kit().activations.clear();
    kit().fronted.clear();
    kit().open_requests.clear();
    clear_records_runtime();
}

// ---- failure on demand ----

namespace {

const char *const kFaults[] = {"windows",         "title",
                               "stringWithUTF8String:", "currentApplication",
                               "sharedWorkspace", "openFile:withApplication:",
                               "proc_name",       "proc_pidpath"};

// Uses of each call since the last reset, and the use number that is to
// fail (0: none). Calls may come from any thread.
struct Faults {
    std::mutex mu;
    std::map<std::string, long> uses, fail_at;
    long fired = 0;
};

Faults &faults()
{
    static Faults f;
    return f;
}

bool known_fault(const std::string &name)
{
    return std::find(std::begin(kFaults), std::end(kFaults), name) != std::end(kFaults);
}

} // namespace

std::vector<std::string> fault_names()
{
    return std::vector<std::string>(std::begin(kFaults), std::end(kFaults));
}

bool fails(const char *call)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    long use = ++f.uses[call];
    if (f.fail_at[call] != use)
        return false;
    ++f.fired;
    return true;
}

long calls(const std::string &name)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.uses[name];
}

void reset_calls()
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    f.uses.clear();
    f.fail_at.clear();
    f.fired = 0;
}

bool fail_call(const std::string &name, long nth)
{
    if (!known_fault(name) || nth < 1)
        return false;
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    f.fail_at[name] = f.uses[name] + nth;
    return true;
}

long faults_fired()
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.fired;
}

// The process calls' side of the model.
bool process_name(std::string &out)
{
    out = kit().process_name;
    return kit().has_name;
}

bool process_path(std::string &out)
{
    out = kit().process_path;
    return kit().has_path;
}

} // namespace appkit

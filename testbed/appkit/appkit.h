// A stand-in for the parts of macOS that quenbrix's macOS file uses, so that
// the file runs unchanged on Linux x86-64: an Objective-C runtime (classes
// and selectors by name, objc_msgSend), a model of AppKit and Foundation
// (the shared application and its windows, activation, the workspace,
// strings and arrays) and the BSD process calls proc_name and proc_pidpath.
//
// These are the controls for tests and tools, for the main thread: the
// thread that last called reset(). Messages may come from any thread.
#pragma once

#include <objc/message.h>
#include <objc/runtime.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace appkit {

// Back to a fresh state: no windows, the application inactive with no key
// window, records cleared, the process named "Live" with a path to match.
// Objects of an earlier state are destroyed.
void reset();

// Windows, in the order they were made. A window that can become main is
// an NSWindow with a title bar and a resize control; one that cannot is an
// NSPanel. As AppKit documents it, canBecomeMainWindow answers YES only for
// a window that is visible, is not a panel, and has a title bar or a
// resize control: never for a hidden, minimised or closed window.
id add_window(const char *title, bool can_become_main = true);
void set_title(id window, const char *title);
// AppKit's style mask bits that decide whether a window can become main.
enum : unsigned long { STYLE_BORDERLESS = 0, STYLE_TITLED = 1 << 0, STYLE_RESIZABLE = 1 << 3 };
void set_style(id window, unsigned long style_mask);

// The order in which the application lists its windows: AppKit promises
// none, so tests may ask for another than the order they were made in.
enum class ListOrder { as_made, reversed };
void set_list_order(ListOrder order);

// The application's main window: the last window made key by
// makeKeyAndOrderFront: that could become main, until it is hidden,
// minimised or closed. As AppKit allows, mainWindow answers nil while the
// application is not active. set_main_window makes a window that can
// become main the main window (and key), as a click on it would.
id main_window();
void set_main_window(id window);
// Closing hides the window and the application lets go of it; it stays in
// the windows list while anything else retains it.
void close_window(id window);
void miniaturize(id window); // into the Dock: neither visible nor key
// Hidden, still open. Closing or hiding a minimised window takes it out of
// the Dock as well: it is then no longer minimised.
void order_out(id window);
bool visible(id window);
std::vector<id> windows();      // the application's list, closed ones included
std::vector<id> open_windows(); // those not closed

// Activation and focus.
void set_active(bool active);
bool active();
void set_key_window(id window); // nil: none
id key_window();
std::vector<unsigned long> activations(); // options of each activateWithOptions:
std::vector<id> fronted();                // receivers of makeKeyAndOrderFront:

// The workspace: each openFile:withApplication:, as UTF-8. A nil
// application asks for the default application of the file's type, as in
// AppKit; it is recorded as the empty string.
struct OpenRequest {
    std::string file;
    std::string application;
};
std::vector<OpenRequest> open_requests();
void set_open_result(bool ok); // what openFile:withApplication: answers

// The process calls; null makes the call fail.
void set_process_name(const char *name);
void set_process_path(const char *path);

// Failure on demand, for the calls that can fail in the real thing, each on
// its n-th use from now: "windows", "title", "stringWithUTF8String:",
// "currentApplication" and "sharedWorkspace" answer nil,
// "openFile:withApplication:" answers NO without opening anything, and
// "proc_name" and "proc_pidpath" fail (0). Uses are counted from reset()
// or reset_calls(), which also disarm every failure.
std::vector<std::string> fault_names();
long calls(const std::string &name);
void reset_calls();
bool fail_call(const std::string &name, long nth); // false: no such call
long faults_fired(); // failures made since the counts were reset

// Every message sent through objc_msgSend to a live receiver, in order.
std::vector<std::pair<id, std::string>> messages();
std::vector<std::string> messages_to(id receiver);
std::vector<std::string> messages_off_main(); // selectors sent from other threads
bool on_main_thread();
void clear_records();

// Reference counts. Objects made by the model (windows, strings, arrays)
// are counted; the shared singletons and classes live for ever. An object
// whose count reaches zero is kept as a zombie until reset(): any later
// message to it, or a release too many, aborts the program.
long live_objects();
long retain_count(id object);
bool deallocated(id object);
void drain_autorelease_pool(); // what the run loop does after each event
// Runs `hook` once, on the sending thread and with no lock held, when the
// next `release` message reaches `object`, before it takes effect.
void on_release(id object, std::function<void()> hook);

// Classes of one's own, for testing the runtime itself.
Class define_class(const char *name, const char *superclass);
void add_method(Class cls, const char *selector, IMP imp);
void add_class_method(Class cls, const char *selector, IMP imp);
id make_object(Class cls); // counted, count 1

// Casts a method implementation of any type to IMP.
template <typename F> IMP imp(F *fn)
{
    return (IMP)(void (*)(void))fn;
}

} // namespace appkit

// The macOS plug-in against an AppKit that nobody here wrote: real windows
// and panels, the real workspace, in the stand-in host. This program plays
// Live: it makes Live's windows, opens the files the workspace hands it,
// and sends the plug-in what a patch would, checking what comes back on
// the outlets, the console and the screen.
//
// It is plain Objective-C (manual reference counting) against AppKit's
// public API, so that the same file builds on a Mac against Apple's AppKit;
// what GNUstep alone needs stands in the one #ifdef GNUSTEP below. The
// plug-in comes in through ext_main: linked in from source/, or the shipped
// bundle's x86-64 slice through testbed/macholoader/.
//
// Options come from the environment, since GNUstep opens command-line
// arguments as files: QUENBRIX_CASES, a comma-separated list of the cases
// to run (all but addfile_refused when unset). addfile_ok needs the
// program inside an application bundle that the workspace finds running;
// addfile_refused expects a workspace that cannot find it (here: GNUstep's,
// with the program in Apple's bundle layout).
#import <AppKit/AppKit.h>

#include "liveapp_texts.h"
#include "maxhost.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

void ext_main(void *r);

static const char *const LIVE_TITLE = "My Set*  [Demo] - Ableton Live 12 Suite";
static const char *const SONG = "My Song.als";
enum { LEFT = 0, RIGHT = 1 };

// ---- checks ----

static int failures;

static void check(int ok, const char *what, const char *file, int line)
{
    if (ok)
        return;
    ++failures;
    printf("  failed at %s:%d: %s\n", file, line, what);
}
#define CHECK(cond) check((cond) != 0, #cond, __FILE__, __LINE__)

static int text_is(const char *a, const char *b)
{
    return a && b && strcmp(a, b) == 0;
}

// ---- Live's side ----

// Guards what threads share here: the counts below and a thread's end.
static pthread_mutex_t shared = PTHREAD_MUTEX_INITIALIZER;

// Live's document windows count what they are retained and released, from
// any thread: the balance shows what the plug-in holds.
@interface LiveWindow : NSWindow {
@public
    long retains, releases;
}
@end

@implementation LiveWindow
- (id)retain
{
    pthread_mutex_lock(&shared);
    ++retains;
    pthread_mutex_unlock(&shared);
    return [super retain];
}
- (oneway void)release
{
    pthread_mutex_lock(&shared);
    ++releases;
    pthread_mutex_unlock(&shared);
    [super release];
}
@end

static long held(LiveWindow *w)
{
    pthread_mutex_lock(&shared);
    long n = w->retains - w->releases;
    pthread_mutex_unlock(&shared);
    return n;
}

// The application's delegate: the files the workspace asks Live to open.
@interface LiveDelegate : NSObject {
@public
    NSMutableArray *opened;
}
@end

@implementation LiveDelegate
- (BOOL)application:(NSApplication *)app openFile:(NSString *)file
{
    (void)app;
    [opened addObject:file];
    return YES;
}
@end

static LiveDelegate *delegate;

static const NSUInteger DOCUMENT = NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                   NSWindowStyleMaskMiniaturizable |
                                   NSWindowStyleMaskResizable;

// The windows of the running case, closed and released after it, and its
// folders of files, removed after it.
static NSMutableArray *case_windows, *case_folders;

static id make_window(Class cls, const char *title, NSUInteger style, BOOL show)
{
    NSWindow *w = [[cls alloc] initWithContentRect:NSMakeRect(100, 100, 480, 320)
                                         styleMask:style
                                           backing:NSBackingStoreBuffered
                                             defer:NO];
    [w setReleasedWhenClosed:NO];
    [w setTitle:[NSString stringWithUTF8String:title]];
    if (show)
        [w orderFront:nil];
    [case_windows addObject:w];
    [w release];
    return w;
}

static LiveWindow *document(const char *title)
{
    return make_window([LiveWindow class], title, DOCUMENT, YES);
}

// One turn: the host's main-thread queue, then AppKit's events for a
// moment (key and main windows and activation change only then), then the
// queue again.
static void pump(void)
{
    NSAutoreleasePool *pool = [NSAutoreleasePool new];
    maxhost_run_queue();
    NSDate *until = [NSDate dateWithTimeIntervalSinceNow:0.15];
    for (;;) {
        NSEvent *e = [NSApp nextEventMatchingMask:NSUIntegerMax
                                        untilDate:until
                                           inMode:NSDefaultRunLoopMode
                                          dequeue:YES];
        if (!e)
            break;
        [NSApp sendEvent:e];
    }
    maxhost_run_queue();
    [pool release];
}

// ---- the host's side ----

static void *make_object(void)
{
    return maxhost_new_object(LIVEAPP_CLASS_NAME, 0, NULL);
}

static void send_message(void *x, const char *message)
{
    maxhost_send(x, message, 0, NULL);
}

static void send_addfile(void *x, const char *file)
{
    t_atom a;
    memset(&a, 0, sizeof a);
    a.a_type = A_SYM;
    a.a_w.w_sym = gensym(file);
    maxhost_send(x, "addfile", 1, &a);
}

static int platform_says_so(const char *text);

// Console lines of one object from line `from` on, but for those the
// platform itself explains (platform_says_so).
static int lines_of(void *x, int from)
{
    int n = 0;
    for (int i = from; i < maxhost_console_count(); ++i)
        if (maxhost_console_object(i) == x && !platform_says_so(maxhost_console_text(i))) {
            printf("  console: %s\n", maxhost_console_text(i));
            ++n;
        }
    return n;
}

static int has_line(void *x, int kind, const char *text)
{
    for (int i = 0; i < maxhost_console_count(); ++i)
        if (maxhost_console_object(i) == x && maxhost_console_kind(i) == kind &&
            text_is(maxhost_console_text(i), text))
            return 1;
    return 0;
}

static int sent_is(int index, int outlet, const char *selector)
{
    if (index >= maxhost_sent_count()) {
        printf("  nothing sent as message %d\n", index + 1);
        return 0;
    }
    if (maxhost_sent_outlet(index) == outlet && text_is(maxhost_sent_selector(index), selector))
        return 1;
    printf("  sent instead: %s from outlet %d\n", maxhost_sent_selector(index),
           maxhost_sent_outlet(index));
    return 0;
}

// savefocus from a thread of its own, as the scheduler would send it.
@interface Scheduler : NSObject {
@public
    void *object;
    int done;
}
@end

@implementation Scheduler
- (void)savefocus:(id)unused
{
    (void)unused;
    NSAutoreleasePool *pool = [NSAutoreleasePool new];
    send_message(object, "savefocus");
    [pool release];
    pthread_mutex_lock(&shared);
    done = 1;
    pthread_mutex_unlock(&shared);
}
@end

static void savefocus_from_another_thread(void *x)
{
    Scheduler *s = [Scheduler new];
    s->object = x;
    s->done = 0;
    [NSThread detachNewThreadSelector:@selector(savefocus:) toTarget:s withObject:nil];
    for (int done = 0; !done;) {
        usleep(1000);
        pthread_mutex_lock(&shared);
        done = s->done;
        pthread_mutex_unlock(&shared);
    }
    [s release];
}

// A folder of its own holding SONG, searched by the host; removed when the
// case is over.
static NSString *temp_folder_with_song(void)
{
    char templ[] = "/tmp/quenbrix-gnustep-XXXXXX";
    if (!mkdtemp(templ))
        return nil;
    NSString *folder = [NSString stringWithUTF8String:templ];
    NSString *song = [folder stringByAppendingPathComponent:[NSString stringWithUTF8String:SONG]];
    [@"set" writeToFile:song atomically:NO];
    maxhost_add_search_folder(templ);
    [case_folders addObject:folder];
    return folder;
}

// ---- the cases ----

// getname names Live's main window among a panel, an untitled, a
// borderless and a hidden window; front makes it key and main.
static void getname_and_front(void)
{
    NSPanel *inspector = make_window([NSPanel class], "Inspector", NSWindowStyleMaskTitled, YES);
    document("");
    make_window([LiveWindow class], "Splash", NSWindowStyleMaskBorderless, YES);
    make_window([LiveWindow class], "Hidden", DOCUMENT, NO);
    LiveWindow *live = document(LIVE_TITLE);
    [inspector makeKeyAndOrderFront:nil];
    pump();
    CHECK([NSApp keyWindow] == inspector);
    CHECK([NSApp mainWindow] != live);
    void *x = make_object();
    int from = maxhost_console_count(); // after the process check

    send_message(x, "getname");
    pump();
    CHECK(sent_is(0, LEFT, LIVE_TITLE) && maxhost_sent_count() == 1);
    CHECK(maxhost_sent_argc(0) == 0);

    send_message(x, "front");
    pump();
    CHECK([NSApp keyWindow] == live);
    CHECK([NSApp mainWindow] == live);
    CHECK([NSApp isActive]);
    CHECK(lines_of(x, from) == 0);
    maxhost_free_object(x);
}

// With Live's only main window in the Dock, getname still names it and
// front brings it back, key and main.
static void live_minimised(void)
{
    make_window([NSPanel class], "Inspector", NSWindowStyleMaskTitled, YES);
    LiveWindow *live = document(LIVE_TITLE);
    [live makeKeyAndOrderFront:nil];
    pump();
    [live miniaturize:nil];
    pump();
    CHECK([live isMiniaturized] && ![live isVisible]);
    CHECK(![live canBecomeMainWindow]);
    CHECK([NSApp mainWindow] != live);
    void *x = make_object();
    int from = maxhost_console_count(); // after the process check

    send_message(x, "getname");
    send_message(x, "front");
    pump();

    CHECK(sent_is(0, LEFT, LIVE_TITLE) && maxhost_sent_count() == 1);
    CHECK(![live isMiniaturized]);
    CHECK([live isVisible]);
    CHECK([NSApp keyWindow] == live);
    CHECK([NSApp mainWindow] == live);
    CHECK(lines_of(x, from) == 0);
    maxhost_free_object(x);
}

// Where several windows could be Live's main window, the application's
// main window is the one, wherever the list puts it.
static void main_window_first(void)
{
    LiveWindow *live = document(LIVE_TITLE);
    [live makeKeyAndOrderFront:nil];
    // Other titled windows until the application lists one before Live's.
    int before = 0;
    for (int i = 0; i < 16 && !before; ++i) {
        char title[64];
        snprintf(title, sizeof title, "Other Set %d - Ableton Live", i);
        document(title);
        for (NSWindow *w in [NSApp windows]) {
            if (w == live)
                break;
            if ([w canBecomeMainWindow] && [[w title] length] > 0)
                before = 1;
        }
    }
    [live makeKeyAndOrderFront:nil];
    pump();
    CHECK(before);
    CHECK([NSApp mainWindow] == live);
    void *x = make_object();

    send_message(x, "getname");
    pump();
    CHECK(sent_is(0, LEFT, LIVE_TITLE) && maxhost_sent_count() == 1);
    maxhost_free_object(x);
}

// savefocus remembers the key window, on the main thread or another;
// recallfocus brings it back.
static void savefocus_and_recallfocus(void)
{
    LiveWindow *live = document(LIVE_TITLE);
    LiveWindow *device = document("Device");
    [device makeKeyAndOrderFront:nil];
    pump();
    CHECK([NSApp isActive] && [NSApp keyWindow] == device);
    void *x = make_object();
    int from = maxhost_console_count(); // after the process check

    send_message(x, "savefocus");
    [live makeKeyAndOrderFront:nil];
    pump();
    CHECK([NSApp keyWindow] == live);
    send_message(x, "recallfocus");
    pump();
    CHECK([NSApp keyWindow] == device);

    savefocus_from_another_thread(x); // saves Device again
    savefocus_from_another_thread(x); // the same window: nothing changes
    [live makeKeyAndOrderFront:nil];
    pump();
    savefocus_from_another_thread(x); // now Live's
    [device makeKeyAndOrderFront:nil];
    pump();
    send_message(x, "recallfocus");
    pump();
    CHECK([NSApp keyWindow] == live);
    CHECK(lines_of(x, from) == 0);

    // Only the saved window is held, once.
    long live_held = held(live), device_held = held(device);
    maxhost_free_object(x);
    pump();
    CHECK(held(live) == live_held - 1);
    CHECK(held(device) == device_held);
}

static void close_window(NSWindow *w)
{
    [w close];
}

static void hide_window(NSWindow *w)
{
    [w orderOut:nil];
}

static void minimise_window(NSWindow *w)
{
    [w miniaturize:nil];
}

static void minimise_then_close_window(NSWindow *w)
{
    [w miniaturize:nil];
    pump();
    [w close];
}

// A saved window closed or hidden since is reported gone and stays as it
// is; a minimised one comes back from the Dock. A window closed from the
// Dock is gone, unless AppKit still calls it minimised: GNUstep does, and
// then it comes back like any minimised window (Apple's AppKit documents
// nothing either way).
static void saved_window_changed_since(void)
{
    struct {
        const char *what;
        void (*change)(NSWindow *);
        BOOL comes_back;
    } cases[] = {
        {"closed", close_window, NO},
        {"hidden", hide_window, NO},
        {"minimised", minimise_window, YES},
        {"minimised, then closed", minimise_then_close_window, NO},
    };
    document(LIVE_TITLE);
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        printf("  saved window %s\n", cases[i].what);
        LiveWindow *saved = document("Export");
        [saved makeKeyAndOrderFront:nil];
        pump();
        void *x = make_object();
        send_message(x, "savefocus");
        cases[i].change(saved);
        pump();
        BOOL in_dock = [saved isMiniaturized];
        if (in_dock && !cases[i].comes_back)
            printf("  AppKit still calls it minimised\n");
        int from = maxhost_console_count();

        send_message(x, "recallfocus");
        pump();

        if (cases[i].comes_back || in_dock) {
            CHECK(lines_of(x, from) == 0);
            CHECK([saved isVisible] && ![saved isMiniaturized]);
            CHECK([NSApp keyWindow] == saved);
        } else {
            CHECK(has_line(x, MAXHOST_ERROR, LIVEAPP_TEXT_WINDOW_GONE));
            CHECK(![saved isVisible]);
            CHECK([NSApp keyWindow] != saved);
        }
        maxhost_free_object(x);
        pump();
    }
}

// addfile: the workspace hands the file to the running Live, then "ok".
static void addfile_ok(void)
{
    NSString *folder = temp_folder_with_song();
    void *x = make_object();
    int from = maxhost_console_count(); // after the process check

    send_addfile(x, SONG);
    pump();
    CHECK(maxhost_run_until_sent(1, 5000));

    NSString *song = [folder stringByAppendingPathComponent:[NSString stringWithUTF8String:SONG]];
    CHECK([delegate->opened count] == 1 && [[delegate->opened lastObject] isEqual:song]);
    CHECK(sent_is(0, RIGHT, LIVEAPP_RESULT_OK) && maxhost_sent_count() == 1);
    CHECK(lines_of(x, from) == 0);
    maxhost_free_object(x);
}

// addfile where the workspace says no: the console says so, then "error".
static void addfile_refused(void)
{
    temp_folder_with_song();
    void *x = make_object();

    send_addfile(x, SONG);
    pump();
    pump();

    char text[256];
    snprintf(text, sizeof text, "Live was not given the file: %s", SONG);
    CHECK(has_line(x, MAXHOST_ERROR, text));
    CHECK(sent_is(0, RIGHT, LIVEAPP_RESULT_ERROR) && maxhost_sent_count() == 1);
    CHECK([delegate->opened count] == 0);
    maxhost_free_object(x);
}

// Objects deleted with work in flight send and post nothing afterwards and
// leave nothing held.
static void deletion_with_work_in_flight(void)
{
    temp_folder_with_song();
    LiveWindow *live = document(LIVE_TITLE);
    [live makeKeyAndOrderFront:nil];
    pump();
    long allocations = maxhost_live_allocations();
    long live_held = held(live);

    // Every request queued, the window saved from another thread, then
    // deleted before the main thread runs any of it.
    void *queued = make_object();
    savefocus_from_another_thread(queued);
    for (const char *const *m = (const char *const[]){"getname", "front", "recallfocus", NULL};
         *m; ++m)
        send_message(queued, *m);
    send_addfile(queued, SONG);
    int from = maxhost_console_count();
    CHECK(held(live) == live_held + 1);
    maxhost_free_object(queued);
    pump();
    CHECK(held(live) == live_held);

    // The file handed on, then deleted while "ok" waits for the clock.
    void *pending = make_object();
    send_addfile(pending, SONG);
    maxhost_run_queue();
    CHECK([delegate->opened count] == 1 && maxhost_sent_count() == 0);
    maxhost_free_object(pending);

    for (int i = 0; i < 4; ++i)
        pump();
    maxhost_run_until_sent(1, 300);
    CHECK(maxhost_sent_count() == 0);
    CHECK(lines_of(queued, from) == 0);
    CHECK(lines_of(pending, from) == 0);
    CHECK([delegate->opened count] == 1); // the second object's alone
    CHECK(maxhost_live_allocations() == allocations);
    CHECK(maxhost_refused_calls() == 0);
    printf("  [ figures ] calls that reached the deleted objects (host model %s): %ld run, "
           "%ld dropped\n",
           maxhost_freed_calls(), maxhost_stale_calls_run(), maxhost_dropped_calls());
}

// ---- what GNUstep alone needs ----

#ifdef GNUSTEP
#include <objc/runtime.h>

// GNUstep's openFile:withApplication: raises NSInvalidArgumentException
// where it cannot find the application, and Apple's answers NO; an
// uncaught exception would end the run in a modal panel. The workspace
// here answers NO as Apple's does.
static IMP gnustep_open_file;

static BOOL open_file_answering_no(id self, SEL cmd, NSString *file, NSString *app)
{
    @try {
        return ((BOOL(*)(id, SEL, NSString *, NSString *))(void (*)(void))gnustep_open_file)(
            self, cmd, file, app);
    } @catch (NSException *e) {
        printf("  GNUstep's workspace raised %s (%s): answered NO\n", [[e name] UTF8String],
               [[e reason] UTF8String]);
        return NO;
    }
}

static void platform_setup(void)
{
    Method m = class_getInstanceMethod([[NSWorkspace sharedWorkspace] class],
                                       @selector(openFile:withApplication:));
    gnustep_open_file = method_getImplementation(m);
    method_setImplementation(m, (IMP)(void (*)(void))open_file_answering_no);
}

// GNUstep has no running application object (+[NSRunningApplication
// currentApplication] is nil), so when Live is not active the plug-in has
// nobody to ask and says it cannot activate Live. Apple's AppKit always
// has one.
static int platform_says_so(const char *text)
{
    if (strcmp(text, LIVEAPP_TEXT_CANT_ACTIVATE) != 0)
        return 0;
    printf("  console: %s (GNUstep has no running application object)\n", text);
    return 1;
}
#else
static void platform_setup(void) {}
static int platform_says_so(const char *text)
{
    (void)text;
    return 0;
}
#endif

// ---- running ----

static const struct {
    const char *name;
    void (*run)(void);
    int by_default;
} cases[] = {
    {"getname_and_front", getname_and_front, 1},
    {"live_minimised", live_minimised, 1},
    {"main_window_first", main_window_first, 1},
    {"savefocus_and_recallfocus", savefocus_and_recallfocus, 1},
    {"saved_window_changed_since", saved_window_changed_since, 1},
    {"addfile_ok", addfile_ok, 1},
    {"addfile_refused", addfile_refused, 0},
    {"deletion_with_work_in_flight", deletion_with_work_in_flight, 1},
};

static int selected(const char *name, int by_default)
{
    const char *list = getenv("QUENBRIX_CASES");
    if (!list || !*list)
        return by_default;
    size_t n = strlen(name);
    for (const char *p = list; (p = strstr(p, name)) != NULL; p += n)
        if ((p == list || p[-1] == ',') && (p[n] == ',' || p[n] == '\0'))
            return 1;
    return 0;
}

int main(void)
{
    NSAutoreleasePool *pool = [NSAutoreleasePool new];
    [NSApplication sharedApplication];
    delegate = [LiveDelegate new];
    delegate->opened = [NSMutableArray new];
    [NSApp setDelegate:delegate];
    [NSApp finishLaunching];
    platform_setup();
    maxhost_load(ext_main);
    pump();

    int ran = 0, failed = 0;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        if (!selected(cases[i].name, cases[i].by_default))
            continue;
        printf("[ RUN  ] %s\n", cases[i].name);
        fflush(stdout);
        int before = failures;
        NSAutoreleasePool *case_pool = [NSAutoreleasePool new];
        case_windows = [NSMutableArray new];
        case_folders = [NSMutableArray new];
        [delegate->opened removeAllObjects];
        maxhost_console_clear();
        maxhost_sent_clear();
        cases[i].run();
        for (NSWindow *w in case_windows)
            [w close];
        [case_windows release];
        maxhost_clear_search_path();
        for (NSString *folder in case_folders)
            [[NSFileManager defaultManager] removeItemAtPath:folder error:NULL];
        [case_folders release];
        pump();
        [case_pool release];
        ++ran;
        if (failures > before)
            ++failed;
        printf("[ %s ] %s\n", failures > before ? "FAIL" : " OK ", cases[i].name);
        fflush(stdout);
    }
    printf("%d case(s) run, %d failed\n", ran, failed);
    [pool release];
    return ran == 0 || failed ? 1 : 0;
}

// The stand-in host's own controls, for tests and tools: create objects and
// send them messages as a patch would, run the main-thread queue, and read
// back what reached the console and the outlets.
//
// Plain C linkage so that a test program can drive the Windows build of the
// stand-in (MaxAPI.dll) across the DLL boundary as well as the native one.
#ifndef QUENBRIX_MAXHOST_H
#define QUENBRIX_MAXHOST_H

#include "max_api.h"

#if defined(_WIN32) && defined(MAXHOST_BUILDING_DLL)
#define MAXHOST_API __declspec(dllexport)
#elif defined(_WIN32) && defined(MAXHOST_DLL)
#define MAXHOST_API __declspec(dllimport)
#else
#define MAXHOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum { MAXHOST_POST = 0, MAXHOST_WARN = 1, MAXHOST_ERROR = 2 };

typedef void (*maxhost_entry)(void *);

// Loading and classes
MAXHOST_API void maxhost_load(maxhost_entry ext_main);
MAXHOST_API t_class *maxhost_find_class(const char *name);
MAXHOST_API int maxhost_class_registered(const char *name_space, const char *name);
MAXHOST_API int maxhost_method_count(t_class *c);
MAXHOST_API const char *maxhost_method_name(t_class *c, int index);
MAXHOST_API int maxhost_method_argtype(t_class *c, int index); // first type code
MAXHOST_API const char *maxhost_method_attr(t_class *c, const char *message,
                                            const char *attr);

// Objects and messages. The calling thread acts as the thread the message
// arrived on; maxhost_send returns 0 when the class has no such method.
// Only classes registered for boxes can be made by name, as from a patch.
// A message may still be delivered while its object is being freed (the
// class's free method runs); the object's memory goes once every message
// delivered to it from another thread has returned.
MAXHOST_API void *maxhost_new_object(const char *classname, short argc, t_atom *argv);
MAXHOST_API void maxhost_free_object(void *x);
MAXHOST_API int maxhost_send(void *x, const char *message, short argc, t_atom *argv);
MAXHOST_API void maxhost_assist(void *x, long code, long index, char *text500);
MAXHOST_API void maxhost_dblclick(void *x);
MAXHOST_API int maxhost_outlet_count(void *x);
MAXHOST_API int maxhost_live_objects(void);

// The main thread: the thread that calls these becomes it. One pass runs
// the calls queued when it began; those queued meanwhile wait for the next.
MAXHOST_API int maxhost_run_queue(void);
MAXHOST_API int maxhost_wait_and_run(long timeout_ms);
MAXHOST_API int maxhost_run_until_sent(int count, long timeout_ms);
MAXHOST_API int maxhost_queue_length(void);
MAXHOST_API int maxhost_clocks_pending(void);
MAXHOST_API double maxhost_last_clock_delay(void); // when clock_delay was last called

// Console
MAXHOST_API void maxhost_console_echo(int on);
MAXHOST_API int maxhost_console_count(void);
MAXHOST_API int maxhost_console_kind(int index);
MAXHOST_API const char *maxhost_console_text(int index);
MAXHOST_API void *maxhost_console_object(int index);
MAXHOST_API void maxhost_console_clear(void);

// Everything that left an outlet, in order. Outlet 0 is the leftmost.
MAXHOST_API int maxhost_sent_count(void);
MAXHOST_API void *maxhost_sent_object(int index);
MAXHOST_API int maxhost_sent_outlet(int index);
MAXHOST_API const char *maxhost_sent_selector(int index);
MAXHOST_API int maxhost_sent_argc(int index);
MAXHOST_API double maxhost_sent_time(int index);
MAXHOST_API int maxhost_sent_on_main_thread(int index);
MAXHOST_API void maxhost_sent_clear(void);

// Resources
MAXHOST_API long maxhost_live_allocations(void);
MAXHOST_API long maxhost_bad_frees(void);
MAXHOST_API int maxhost_live_threads(void);

// Failure on demand. The host calls that can fail (sysmem_newptrclear, the
// two charset converters, string_new, clock_new, outlet_new, object_alloc,
// path_absolutepath, path_nameconform, systhread_create), by name: each
// one's uses since maxhost_calls_reset, and its n-th use from now made to
// fail (null, or for the path and thread calls a non-zero result).
// maxhost_fail_call returns 0 for a name it does not know.
MAXHOST_API int maxhost_fault_count(void);
MAXHOST_API const char *maxhost_fault_name(int index);
MAXHOST_API long maxhost_calls(const char *name);
MAXHOST_API void maxhost_calls_reset(void); // also disarms every failure
MAXHOST_API int maxhost_fail_call(const char *name, long nth);
MAXHOST_API long maxhost_faults_fired(void); // failures made since the reset
MAXHOST_API void maxhost_fail_next_threads(int count);
MAXHOST_API void maxhost_fail_next_objects(int count);

// Holding worker threads (those made by systhread_create) at a point of
// their way, so that a test can act while every worker waits there. A
// thread that reaches the point set waits until the point changes, or until
// maxhost_release_one_worker lets it (and only it) go on; setting a later
// point moves every waiting thread on to it.
enum {
    MAXHOST_HOLD_NONE = 0,
    MAXHOST_HOLD_SLEEP = 1,  // on entering systhread_sleep
    MAXHOST_HOLD_DEFER = 2,  // in defer_low, before the call is queued
    MAXHOST_HOLD_QUEUED = 3, // in defer_low, once the call is queued
    MAXHOST_HOLD_EXIT = 4,   // on entering systhread_exit
};
MAXHOST_API void maxhost_hold_workers(int point);
MAXHOST_API int maxhost_held_workers(void); // those waiting at the point set
MAXHOST_API void maxhost_release_one_worker(void);

// While on, clocks are not fired by the host's scheduler thread, which is
// then never woken; maxhost_fire_clocks fires those due, on the calling
// thread, and says how many. For benchmarks that time the object alone.
MAXHOST_API void maxhost_clocks_by_hand(int on);
MAXHOST_API int maxhost_fire_clocks(void);

// Called on the posting thread after each console line is recorded, with
// no lock of the host's held; null removes it.
typedef void (*maxhost_post_hook)(void *arg, void *object, const char *text);
MAXHOST_API void maxhost_on_post(maxhost_post_hook hook, void *arg);

// While on, defer_low only counts its calls and queues nothing: what is
// left of a message's cost is then the object's own.
MAXHOST_API void maxhost_count_only_queue(int on);
MAXHOST_API long maxhost_counted_calls(void);

// A method of a class by its message name, as the host calls it.
MAXHOST_API method maxhost_method(t_class *c, const char *message);

// What happens to calls queued for a freed object: "run", "drop" or
// "strict", from MAXHOST_FREED_CALLS (default "run"). Under "strict",
// defer_low refuses calls not addressed to a live object and counts them.
MAXHOST_API const char *maxhost_freed_calls(void);
MAXHOST_API long maxhost_refused_calls(void);
MAXHOST_API long maxhost_dropped_calls(void);   // a freed object's, dropped
MAXHOST_API long maxhost_stale_calls_run(void); // run with a freed pointer
// While on, each new object takes the memory of the object freed last, as
// a host's allocator may: an old object's address then names a new one.
MAXHOST_API void maxhost_reuse_freed_memory(int on);

// Search path for path_absolutepath, and how often it or path_nameconform
// was called from a thread other than the main one.
MAXHOST_API long maxhost_path_calls_off_main(void);
MAXHOST_API void maxhost_add_search_folder(const char *folder);
MAXHOST_API void maxhost_clear_search_path(void);

// Monotonic milliseconds, the clock behind maxhost_sent_time.
MAXHOST_API double maxhost_now(void);

#ifdef __cplusplus
}
#endif

#endif

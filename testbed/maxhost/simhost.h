// The stand-in host's own controls, for tests and tools: create objects and
// send them messages as a patch would, run the main-thread queue, and read
// back what reached the console and the outlets.
//
// Plain C linkage so that a test program can drive the Windows build of the
// stand-in (MaxAPI.dll) across the DLL boundary as well as the native one.
#ifndef QUENBRIX_SIMHOST_H
#define QUENBRIX_SIMHOST_H

#include "max_api.h"

#if defined(_WIN32) && defined(SIMHOST_BUILDING_DLL)
#define SIMHOST_API __declspec(dllexport)
#elif defined(_WIN32) && defined(SIMHOST_DLL)
#define SIMHOST_API __declspec(dllimport)
#else
#define SIMHOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum { SIMHOST_POST = 0, SIMHOST_WARN = 1, SIMHOST_ERROR = 2 };

typedef void (*simhost_entry)(void *);

// Loading and classes
SIMHOST_API void simhost_load(simhost_entry ext_main);
SIMHOST_API t_class *simhost_find_class(const char *name);
SIMHOST_API int simhost_class_registered(const char *name_space, const char *name);
SIMHOST_API int simhost_method_count(t_class *c);
SIMHOST_API const char *simhost_method_name(t_class *c, int index);
SIMHOST_API int simhost_method_argtype(t_class *c, int index); // first type code
SIMHOST_API const char *simhost_method_attr(t_class *c, const char *message,
                                            const char *attr);

// Objects and messages. The calling thread acts as the thread the message
// arrived on; simhost_send returns 0 when the class has no such method.
SIMHOST_API void *simhost_new_object(const char *classname, short argc, t_atom *argv);
SIMHOST_API void simhost_free_object(void *x);
SIMHOST_API int simhost_send(void *x, const char *message, short argc, t_atom *argv);
SIMHOST_API void simhost_assist(void *x, long code, long index, char *text500);
SIMHOST_API void simhost_dblclick(void *x);
SIMHOST_API int simhost_outlet_count(void *x);
SIMHOST_API int simhost_live_objects(void);

// The main thread: the thread that calls these becomes it. One pass runs
// the calls queued when it began; those queued meanwhile wait for the next.
SIMHOST_API int simhost_run_queue(void);
SIMHOST_API int simhost_wait_and_run(long timeout_ms);
SIMHOST_API int simhost_run_until_sent(int count, long timeout_ms);
SIMHOST_API int simhost_queue_length(void);
SIMHOST_API int simhost_clocks_pending(void);
SIMHOST_API double simhost_last_clock_delay(void); // when clock_delay was last called

// Console
SIMHOST_API void simhost_console_echo(int on);
SIMHOST_API int simhost_console_count(void);
SIMHOST_API int simhost_console_kind(int index);
SIMHOST_API const char *simhost_console_text(int index);
SIMHOST_API void *simhost_console_object(int index);
SIMHOST_API void simhost_console_clear(void);

// Everything that left an outlet, in order. Outlet 0 is the leftmost.
SIMHOST_API int simhost_sent_count(void);
SIMHOST_API void *simhost_sent_object(int index);
SIMHOST_API int simhost_sent_outlet(int index);
SIMHOST_API const char *simhost_sent_selector(int index);
SIMHOST_API int simhost_sent_argc(int index);
SIMHOST_API double simhost_sent_time(int index);
SIMHOST_API int simhost_sent_on_main_thread(int index);
SIMHOST_API void simhost_sent_clear(void);

// Resources and fault injection
SIMHOST_API long simhost_live_allocations(void);
SIMHOST_API long simhost_bad_frees(void);
SIMHOST_API int simhost_live_threads(void);
SIMHOST_API void simhost_fail_next_threads(int count);
SIMHOST_API void simhost_fail_next_objects(int count);

// What happens to calls queued for a freed object: "run", "drop" or
// "strict", from SIMHOST_FREED_CALLS (default "run"). Under "strict",
// defer_low refuses calls not addressed to a live object and counts them.
SIMHOST_API const char *simhost_freed_calls(void);
SIMHOST_API long simhost_refused_calls(void);
SIMHOST_API long simhost_dropped_calls(void);   // a freed object's, dropped
SIMHOST_API long simhost_stale_calls_run(void); // run with a freed pointer
// While on, each new object takes the memory of the object freed last, as
// a host's allocator may: an old object's address then names a new one.
SIMHOST_API void simhost_reuse_freed_memory(int on);

// Search path for path_absolutepath, and how often it or path_nameconform
// was called from a thread other than the main one.
SIMHOST_API long simhost_path_calls_off_main(void);
SIMHOST_API void simhost_add_search_folder(const char *folder);
SIMHOST_API void simhost_clear_search_path(void);

// Monotonic milliseconds, the clock behind simhost_sent_time.
SIMHOST_API double simhost_now(void);

#ifdef __cplusplus
}
#endif

#endif

// The quenbrix object: its instance record, the shared routines, and the
// platform boundary.
//
// liveapp.cpp holds what both platforms share. liveapp_win.cpp and
// liveapp_mac.cpp each implement the functions listed under "Platform" and
// nothing else is chosen per platform.
#ifndef QUENBRIX_LIVEAPP_H
#define QUENBRIX_LIVEAPP_H

#include "max_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// The host keeps every method as its generic `method` type; going through
// void(*)(void) makes that cast explicit without a warning.
#define LIVEAPP_METHOD(fn) ((method)(void (*)(void))(fn))

typedef struct _liveapp {
    t_object ob;
    void *name_outlet;          // left: the Live Set name
    void *result_outlet;        // right: "ok" or "error" after addfile
    int32_t process_state;      // 0 unchecked, 1 inside Live, -1 elsewhere
    void *clock;                // fires liveapp_clocktick after a hand-off
    void *volatile saved_window; // window saved by savefocus, or null
    int32_t oks_due;            // successes the clock has yet to report
    t_atom_long handle;         // names this object in queued calls
} t_liveapp;

extern t_class *liveapp_class;

QUENBRIX_EXPORT void ext_main(void *r);

// Shared (liveapp.cpp), called by the platform files
void liveapp_checkprocess_name(t_liveapp *x, const char *name);
void liveapp_addfile_output(t_liveapp *x, t_symbol *result);
void liveapp_addfile_succeeded(t_liveapp *x);
void liveapp_addfile_error(t_liveapp *x);

// Work for the main thread is queued with defer_low to the courier, a host
// object made at load and never freed, so that no queued call is ever
// addressed to a freed object, whatever the host does with such calls.
// liveapp_defer queues `fn` for this object: the call carries the object's
// handle as its first atom, and `arg`, when not null, as the second; `fn`
// takes (courier, s, argc, argv) and finds the object with liveapp_alive.
// A handle names one object for its life only: once the object is freed,
// its handle finds nothing, also when a new object takes its memory.
// liveapp_defer_courier queues a call that carries what it needs in its own
// atoms, for work that must reach the main thread whatever has become of
// the object. Both may be called from any thread; liveapp_alive, like the
// making and freeing of objects, runs on the main thread only.
void liveapp_defer(t_liveapp *x, method fn, t_symbol *s, const t_atom *arg);
void liveapp_defer_courier(method fn, t_symbol *s, short argc, t_atom *argv);
t_liveapp *liveapp_alive(t_atom_long handle);

// Set-name extraction (cleantitle.cpp)
bool liveapp_cleantitle(char *title);
void liveapp_removeAsterix(char *text);

// Platform: each platform file implements exactly these.
void liveapp_checkprocess(t_liveapp *x);
void liveapp_do_getname(t_liveapp *x);
void liveapp_do_front(t_liveapp *x);
void liveapp_savefocus(t_liveapp *x);
void liveapp_do_recallfocus(t_liveapp *x);
// addfile, on the main thread, with the file found and its native path made
void liveapp_handoff(t_liveapp *x, t_symbol *file, const char *native);
void liveapp_bang(t_liveapp *x);
void liveapp_release(t_liveapp *x); // called from liveapp_free

#ifdef __cplusplus
}
#endif

#endif

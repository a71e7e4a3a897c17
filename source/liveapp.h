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

struct liveapp_handoff;

#define LIVEAPP_RETIRED_SLOTS 8

typedef struct _liveapp {
    t_object ob;
    void *name_outlet;          // left: the Live Set name
    void *result_outlet;        // right: "ok" or "error" after addfile
    int32_t process_state;      // 0 unchecked, 1 inside Live, -1 elsewhere
    void *clock;                // fires liveapp_clocktick after a hand-off
    void *volatile saved_window; // window saved by savefocus, or null
    struct liveapp_handoff *handoffs; // hand-offs still running (main thread)
    int32_t oks_due;            // successes the clock has yet to report
    t_atom_long serial;         // this object's number among all ever made
    struct _liveapp *next_live; // the list of live objects (main thread)
    void *volatile retired[LIVEAPP_RETIRED_SLOTS]; // windows to release on
                                                   // the main thread (macOS)
} t_liveapp;

extern t_class *liveapp_class;

QUENBRIX_EXPORT void ext_main(void *r);

// Shared (liveapp.cpp), called by the platform files
void liveapp_checkprocess_name(t_liveapp *x, const char *name);
void liveapp_addfile_output(t_liveapp *x, t_symbol *result);
void liveapp_addfile_succeeded(t_liveapp *x);
void liveapp_addfile_error(t_liveapp *x);

// Work queued for the main thread is addressed to the object and carries
// the object's serial as its first atom; the queued function runs only when
// liveapp_alive finds that object, with that serial, still alive. Neither
// reads the object's memory before it is known to be alive, so a call that
// a host runs after the object was freed, or for a new object at the same
// address, does nothing. `fn` takes (x, s, argc, argv); `arg` is one more
// atom to carry, or null. liveapp_defer_serial is the same for a thread that
// may not read the object: it names the object and its serial itself.
void liveapp_defer(t_liveapp *x, method fn, t_symbol *s, const t_atom *arg);
void liveapp_defer_serial(void *x, t_atom_long serial, method fn, t_symbol *s,
                          const t_atom *arg);
t_liveapp *liveapp_alive(void *x, short argc, const t_atom *argv);

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

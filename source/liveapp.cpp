// The quenbrix object's front end: class registration, instances, message
// dispatch and deferral, and the path of addfile results to the right outlet.
#include "liveapp.h"
#include "liveapp_atomic.h"
#include "liveapp_identity.h"
#include "liveapp_texts.h"

#include <stdio.h>
#include <string.h>

t_class *liveapp_class = nullptr;

static void *liveapp_new(t_symbol *s, long argc, t_atom *argv);
static void liveapp_free(t_liveapp *x);
static void liveapp_getname(t_liveapp *x);
static void liveapp_front(t_liveapp *x);
static void liveapp_recallfocus(t_liveapp *x);
static void liveapp_addfile(t_liveapp *x, t_symbol *s, long argc, t_atom *argv);
static void liveapp_do_addfile(t_liveapp *x, t_symbol *s, short argc, t_atom *argv);
static void liveapp_assist(t_liveapp *x, void *box, long code, long index, char *text);
static void liveapp_dblclick(t_liveapp *x);
static void liveapp_clocktick(t_liveapp *x);
static void liveapp_addfile_failed(t_liveapp *x, t_symbol *file);

static void liveapp_mark_undocumented(t_class *c, const char *message)
{
    t_hashtab *methods = (t_hashtab *)class_extra_lookup(c, gensym("methods"));
    if (!methods)
        return;
    t_object *entry = nullptr;
    hashtab_lookup(methods, gensym(message), &entry);
    if (entry)
        object_addattr_parse(entry, "undocumented", gensym("long"), 0, "1");
}

extern "C" QUENBRIX_EXPORT void ext_main(void *)
{
    t_class *c = class_new(LIVEAPP_CLASS_NAME, LIVEAPP_METHOD(liveapp_new),
                           LIVEAPP_METHOD(liveapp_free), (long)sizeof(t_liveapp),
                           nullptr, A_GIMME, 0);

    class_addmethod(c, LIVEAPP_METHOD(liveapp_bang), "bang", 0);
    liveapp_mark_undocumented(c, "bang");
    class_addmethod(c, LIVEAPP_METHOD(liveapp_getname), "getname", 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_front), "front", 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_savefocus), "savefocus", 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_recallfocus), "recallfocus", 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_addfile), "addfile", A_GIMME, 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_assist), "assist", A_CANT, 0);
    class_addmethod(c, LIVEAPP_METHOD(liveapp_dblclick), "dblclick", A_CANT, 0);

    class_register(gensym("box"), c);
    liveapp_class = c;

    object_post(nullptr, "%s %s %s", LIVEAPP_CLASS_NAME, LIVEAPP_BUILD_DATE,
                LIVEAPP_MAKER_TAG);
}

// ---- live objects ----
//
// The host's queue does not promise to forget the calls of a freed object:
// it may drop them, or run them with the freed pointer. So every queued call
// first asks this list, kept on the main thread where objects are made and
// freed and queued calls run, whether its object is still alive. The list
// is searched by address and serial: a freed object is out of it, so its
// memory is never read, and a new object at a freed one's address has a
// serial of its own.

static t_liveapp *liveapp_live = nullptr;
static t_atom_long liveapp_serials = 0;

t_liveapp *liveapp_alive(void *x, short argc, const t_atom *argv)
{
    if (argc < 1 || !argv || argv[0].a_type != A_LONG)
        return nullptr;
    for (t_liveapp *live = liveapp_live; live; live = live->next_live)
        if ((void *)live == x)
            return live->serial == argv[0].a_w.w_long ? live : nullptr;
    return nullptr;
}

void liveapp_defer_serial(void *x, t_atom_long serial, method fn, t_symbol *s,
                          const t_atom *arg)
{
    t_atom atoms[2];
    atoms[0].a_type = A_LONG;
    atoms[0].a_w.w_long = serial;
    short argc = 1;
    if (arg)
        atoms[argc++] = *arg;
    defer_low(x, fn, s, argc, atoms);
}

void liveapp_defer(t_liveapp *x, method fn, t_symbol *s, const t_atom *arg)
{
    liveapp_defer_serial(x, x->serial, fn, s, arg);
}

static void *liveapp_new(t_symbol *, long, t_atom *)
{
    t_liveapp *x = (t_liveapp *)object_alloc(liveapp_class);
    if (!x)
        return nullptr;
    // The outlet made first stands rightmost.
    x->result_outlet = outlet_new(x, nullptr);
    x->name_outlet = outlet_new(x, nullptr);
    x->clock = clock_new(x, LIVEAPP_METHOD(liveapp_clocktick));
    x->process_state = 0;
    liveapp_checkprocess(x);
    x->saved_window = nullptr;
    x->serial = ++liveapp_serials;
    x->next_live = liveapp_live;
    liveapp_live = x;
    return x;
}

static void liveapp_free(t_liveapp *x)
{
    // Out of the list first: whatever is still queued for this object will
    // find it gone. Then the platform lets go of work still in flight.
    for (t_liveapp **p = &liveapp_live; *p; p = &(*p)->next_live)
        if (*p == x) {
            *p = x->next_live;
            break;
        }
    liveapp_release(x);
    freeobject((t_object *)x->clock);
    x->clock = nullptr;
}

void liveapp_checkprocess_name(t_liveapp *x, const char *name)
{
    if (strstr(name, "Live")) {
        x->process_state = 1;
    } else {
        x->process_state = -1;
        object_warn((t_object *)x, "we are not in the Live process (it "
                                   "doesn't work in Max / M4L editor)");
    }
}

// The deferred halves as the queue calls them.
static void liveapp_queued_getname(void *x, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_alive(x, argc, argv))
        liveapp_do_getname(live);
}

static void liveapp_queued_front(void *x, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_alive(x, argc, argv))
        liveapp_do_front(live);
}

static void liveapp_queued_recallfocus(void *x, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_alive(x, argc, argv))
        liveapp_do_recallfocus(live);
}

static void liveapp_queued_addfile(void *x, t_symbol *s, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_alive(x, argc, argv))
        liveapp_do_addfile(live, s, (short)(argc - 1), argv + 1);
}

static void liveapp_queued_output(void *x, t_symbol *result, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_alive(x, argc, argv))
        liveapp_addfile_output(live, result);
}

static void liveapp_getname(t_liveapp *x)
{
    liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_getname), nullptr, nullptr);
}

static void liveapp_front(t_liveapp *x)
{
    liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_front), nullptr, nullptr);
}

static void liveapp_recallfocus(t_liveapp *x)
{
    liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_recallfocus), nullptr, nullptr);
}

// Only the first atom of addfile counts, so only it travels with the
// serial: the queue copies what it is given, and a message may be long.
static void liveapp_addfile(t_liveapp *x, t_symbol *s, long argc, t_atom *argv)
{
    liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_addfile), s,
                  argc > 0 && argv ? argv : nullptr);
}

// Finds the file and makes its native path here, on the main thread: the
// host does not promise that its search path may be read from elsewhere.
static void liveapp_do_addfile(t_liveapp *x, t_symbol *, short argc, t_atom *argv)
{
    if (argc <= 0 || !argv || atom_gettype(argv) != A_SYM) {
        object_error((t_object *)x, "file argument missing");
        return;
    }
    t_symbol *file = atom_getsym(argv);
    t_symbol *absolute = nullptr;
    if (path_absolutepath(&absolute, file, nullptr, 0) != 0 || !absolute) {
        liveapp_addfile_failed(x, file);
        return;
    }
    char native[MAX_PATH_CHARS];
    native[0] = '\0';
    if (path_nameconform(absolute->s_name, native, PATH_STYLE_NATIVE, PATH_TYPE_BOOT) != 0) {
        object_error((t_object *)x, LIVEAPP_TEXT_NO_NATIVE_PATH, file->s_name);
        liveapp_addfile_error(x);
        return;
    }
    native[MAX_PATH_CHARS - 1] = '\0';
    liveapp_handoff(x, file, native);
}

static void liveapp_assist(t_liveapp *, void *, long code, long index, char *text)
{
    // The host's tooltip buffer holds 500 bytes.
    if (code == ASSIST_INLET)
        snprintf(text, 500, "I am inlet %ld", index);
    else
        snprintf(text, 500, "I am outlet %ld", index);
}

static void liveapp_dblclick(t_liveapp *x)
{
    object_post((t_object *)x, "I got a double-click");
}

void liveapp_addfile_output(t_liveapp *x, t_symbol *result)
{
    outlet_anything(x->result_outlet, result, 0, nullptr);
}

// The clock reports every success counted since it last fired: requests
// that finish within the same millisecond restart the one clock, and each of
// them still gets its "ok".
static void liveapp_clocktick(t_liveapp *x)
{
    int32_t due = liveapp_atomic_exchange(&x->oks_due, 0);
    for (; due > 0; --due)
        liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_output), gensym(LIVEAPP_RESULT_OK),
                      nullptr);
}

// A hand-off succeeded: "ok" leaves the right outlet 1 ms later.
void liveapp_addfile_succeeded(t_liveapp *x)
{
    liveapp_atomic_add(&x->oks_due, 1);
    clock_delay(x->clock, 1);
}

// An accepted request failed: "error" leaves the right outlet.
void liveapp_addfile_error(t_liveapp *x)
{
    liveapp_defer(x, LIVEAPP_METHOD(liveapp_queued_output), gensym(LIVEAPP_RESULT_ERROR),
                  nullptr);
}

static void liveapp_addfile_failed(t_liveapp *x, t_symbol *file)
{
    object_error((t_object *)x, LIVEAPP_TEXT_FILE_NOT_FOUND, file->s_name);
    liveapp_addfile_error(x);
}

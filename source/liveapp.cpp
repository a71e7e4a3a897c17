// The quenbrix object's front end: class registration, instances, message
// dispatch and deferral, and the path of addfile results to the right outlet.
#include "liveapp.h"
#include "liveapp_atomic.h"
#include "liveapp_texts.h"

#include <stdio.h>
#include <string.h>

t_class *liveapp_class = nullptr;

#define LIVEAPP_BUILD_DATE "2022/05/24"
#define LIVEAPP_MAKER_TAG "(quenbrix team)"

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

void *liveapp_new(t_symbol *, long, t_atom *)
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
    return x;
}

void liveapp_free(t_liveapp *x)
{
    // The platform first lets go of work still in flight, so that nothing
    // it left running can reach this record or its clock afterwards.
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

void liveapp_getname(t_liveapp *x)
{
    defer_low(x, LIVEAPP_METHOD(liveapp_do_getname), nullptr, 0, nullptr);
}

void liveapp_front(t_liveapp *x)
{
    defer_low(x, LIVEAPP_METHOD(liveapp_do_front), nullptr, 0, nullptr);
}

void liveapp_recallfocus(t_liveapp *x)
{
    defer_low(x, LIVEAPP_METHOD(liveapp_do_recallfocus), nullptr, 0, nullptr);
}

void liveapp_addfile(t_liveapp *x, t_symbol *s, long argc, t_atom *argv)
{
    // The host hands a message at most a few thousand atoms; the queue's
    // count is 16 bits wide, so never let it wrap to a smaller number.
    short count = argc > 32767 ? (short)32767 : (short)(argc < 0 ? 0 : argc);
    defer_low(x, LIVEAPP_METHOD(liveapp_do_addfile), s, count, argv);
}

void liveapp_do_addfile(t_liveapp *x, t_symbol *, short argc, t_atom *argv)
{
    if (argc <= 0 || !argv || atom_gettype(argv) != A_SYM) {
        object_error((t_object *)x, "file argument missing");
        return;
    }
    liveapp_handoff(x, atom_getsym(argv));
}

void liveapp_assist(t_liveapp *, void *, long code, long index, char *text)
{
    // The host's tooltip buffer holds 500 bytes.
    if (code == ASSIST_INLET)
        snprintf(text, 500, "I am inlet %ld", index);
    else
        snprintf(text, 500, "I am outlet %ld", index);
}

void liveapp_dblclick(t_liveapp *x)
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
void liveapp_clocktick(t_liveapp *x)
{
    int32_t due = liveapp_atomic_exchange(&x->oks_due, 0);
    for (; due > 0; --due)
        defer_low(x, LIVEAPP_METHOD(liveapp_addfile_output),
                  gensym(LIVEAPP_RESULT_OK), 0, nullptr);
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
    defer_low(x, LIVEAPP_METHOD(liveapp_addfile_output),
              gensym(LIVEAPP_RESULT_ERROR), 0, nullptr);
}

void liveapp_addfile_failed(t_liveapp *x, t_symbol *file)
{
    object_error((t_object *)x, LIVEAPP_TEXT_FILE_NOT_FOUND, file->s_name);
    liveapp_addfile_error(x);
}

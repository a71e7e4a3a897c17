// The quenbrix object's front end: class registration, instances, message
// dispatch and deferral, and the path of addfile results to the right outlet.
#include "liveapp.h"
#include "liveapp_atomic.h"
#include "liveapp_identity.h"
#include "liveapp_texts.h"

#include <stdio.h>
#include <string.h>

t_class *liveapp_class = nullptr;
static t_class *liveapp_courier_class = nullptr; // see "the courier" below
static t_object *liveapp_courier = nullptr;

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
static bool liveapp_courier_ready(void);
static t_liveapp *liveapp_addressee(short argc, const t_atom *argv);

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

    // The courier: a plain host object that queued calls are addressed to.
    liveapp_courier_class = class_new("quenbrix.courier", nullptr, nullptr,
                                      (long)sizeof(t_object), nullptr, 0, 0);
    class_register(gensym("nobox"), liveapp_courier_class);
    liveapp_courier_ready();

    object_post(nullptr, "%s %s %s", LIVEAPP_CLASS_NAME, LIVEAPP_BUILD_DATE,
                LIVEAPP_MAKER_TAG);
}

// ---- the courier and the live objects ----
//
// The host's queue does not promise to forget the calls of a freed object:
// it may drop them, run them with the freed pointer, or refuse them. So no
// call is ever queued to an object. Every call goes to the courier, a host
// object of a class of our own that no patch can make (it is registered
// for no box), made at load and never freed; it carries the handle of the
// object it is for. On the main thread, where objects are made and freed
// and queued calls run, the handle is looked up in a table of live objects:
// its low half is a slot of the table, its high half the generation the
// slot had when the object took it. Freeing an object moves its slot on to
// the next generation, so a call for a freed object finds nothing, without
// reading the freed memory, and one for an object whose memory a new
// object took finds nothing either. Free slots are chained through the
// table and taken again first; the table starts in static memory and
// doubles in host memory when full. Lookup, making and freeing cost the
// same however many objects live.

struct liveapp_slot {
    t_liveapp *object;   // null while free
    uint32_t generation; // moves on each time the slot is let go
    uint32_t next_free;  // the next free slot while free; 0 ends the chain
};

#define LIVEAPP_FIRST_SLOTS 64
static struct liveapp_slot liveapp_first_slots[LIVEAPP_FIRST_SLOTS];
static struct liveapp_slot *liveapp_slots = liveapp_first_slots;
static uint32_t liveapp_slot_count = LIVEAPP_FIRST_SLOTS;
static uint32_t liveapp_slots_used = 1; // slot 0 names no object
static uint32_t liveapp_free_slots = 0; // the chain of free slots

static bool liveapp_grow_slots(void)
{
    if (liveapp_slot_count > UINT32_MAX / 2 / sizeof(struct liveapp_slot))
        return false;
    uint32_t count = liveapp_slot_count * 2;
    struct liveapp_slot *slots =
        (struct liveapp_slot *)sysmem_newptrclear(count * sizeof(struct liveapp_slot));
    if (!slots)
        return false;
    memcpy(slots, liveapp_slots, liveapp_slot_count * sizeof(struct liveapp_slot));
    if (liveapp_slots != liveapp_first_slots)
        sysmem_freeptr(liveapp_slots);
    liveapp_slots = slots;
    liveapp_slot_count = count;
    return true;
}

// Gives the object a slot and its handle; false when the table can't grow.
static bool liveapp_enlist(t_liveapp *x)
{
    uint32_t index = liveapp_free_slots;
    if (index) {
        liveapp_free_slots = liveapp_slots[index].next_free;
    } else {
        if (liveapp_slots_used == liveapp_slot_count && !liveapp_grow_slots())
            return false;
        index = liveapp_slots_used++;
    }
    struct liveapp_slot *slot = &liveapp_slots[index];
    slot->object = x;
    x->handle = (t_atom_long)(((uint64_t)slot->generation << 32) | index);
    return true;
}

static void liveapp_delist(t_liveapp *x)
{
    uint32_t index = (uint32_t)((uint64_t)x->handle & 0xFFFFFFFFu);
    if (index == 0)
        return; // never enlisted
    struct liveapp_slot *slot = &liveapp_slots[index];
    slot->object = nullptr;
    slot->generation++;
    slot->next_free = liveapp_free_slots;
    liveapp_free_slots = index;
    x->handle = 0;
}

t_liveapp *liveapp_alive(t_atom_long handle)
{
    uint32_t index = (uint32_t)((uint64_t)handle & 0xFFFFFFFFu);
    uint32_t generation = (uint32_t)((uint64_t)handle >> 32);
    if (index == 0 || index >= liveapp_slots_used)
        return nullptr;
    struct liveapp_slot *slot = &liveapp_slots[index];
    return slot->generation == generation ? slot->object : nullptr;
}

// The object a call queued with liveapp_defer is for, if it still lives.
static t_liveapp *liveapp_addressee(short argc, const t_atom *argv)
{
    if (argc < 1 || !argv || argv[0].a_type != A_LONG)
        return nullptr;
    return liveapp_alive(argv[0].a_w.w_long);
}

// The courier, made at load; made again by the next object should the
// host have had no memory then. Without it no object is made.
static bool liveapp_courier_ready(void)
{
    if (!liveapp_courier)
        liveapp_courier = (t_object *)object_alloc(liveapp_courier_class);
    return liveapp_courier != nullptr;
}

void liveapp_defer_courier(method fn, t_symbol *s, short argc, t_atom *argv)
{
    defer_low(liveapp_courier, fn, s, argc, argv);
}

void liveapp_defer(t_liveapp *x, method fn, t_symbol *s, const t_atom *arg)
{
    t_atom atoms[2];
    atoms[0].a_type = A_LONG;
    atoms[0].a_w.w_long = x->handle;
    short argc = 1;
    if (arg)
        atoms[argc++] = *arg;
    defer_low(liveapp_courier, fn, s, argc, atoms);
}

static void *liveapp_new(t_symbol *, long, t_atom *)
{
    if (!liveapp_courier_ready())
        return nullptr;
    t_liveapp *x = (t_liveapp *)object_alloc(liveapp_class);
    if (!x)
        return nullptr;
    if (!liveapp_enlist(x)) {
        freeobject((t_object *)x);
        return nullptr;
    }
    // The outlet made first stands rightmost.
    x->result_outlet = outlet_new(x, nullptr);
    x->name_outlet = outlet_new(x, nullptr);
    x->clock = clock_new(x, LIVEAPP_METHOD(liveapp_clocktick));
    // Without both outlets and the clock the object could not report what it
    // does: it is not made at all, and the host frees whatever was made
    // (liveapp_free runs, and takes it out of the table again).
    if (!x->result_outlet || !x->name_outlet || !x->clock) {
        freeobject((t_object *)x);
        return nullptr;
    }
    x->process_state = 0;
    liveapp_checkprocess(x);
    x->saved_window = nullptr;
    return x;
}

static void liveapp_free(t_liveapp *x)
{
    // Out of the table first: whatever is still queued for this object will
    // find it gone. Then the platform lets go of what the object holds.
    liveapp_delist(x);
    liveapp_release(x);
    if (x->clock)
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
static void liveapp_queued_getname(void *, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_addressee(argc, argv))
        liveapp_do_getname(live);
}

static void liveapp_queued_front(void *, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_addressee(argc, argv))
        liveapp_do_front(live);
}

static void liveapp_queued_recallfocus(void *, t_symbol *, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_addressee(argc, argv))
        liveapp_do_recallfocus(live);
}

static void liveapp_queued_addfile(void *, t_symbol *s, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_addressee(argc, argv))
        liveapp_do_addfile(live, s, (short)(argc - 1), argv + 1);
}

static void liveapp_queued_output(void *, t_symbol *result, short argc, t_atom *argv)
{
    if (t_liveapp *live = liveapp_addressee(argc, argv))
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
// handle: the queue copies what it is given, and a message may be long.
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

// Stand-in host: its own controls, for tests and tools (maxhost.h), and
// the host's state itself.
#include "host_state.h"

using namespace maxhost_internal;

namespace maxhost_internal {

double now_ms()
{
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

// The host model of MAXHOST_FREED_CALLS; anything unknown stops the program.
FreedCalls freed_calls_from_environment()
{
    const char *model = std::getenv("MAXHOST_FREED_CALLS");
    if (!model || !*model || std::strcmp(model, "run") == 0)
        return FREED_RUN;
    if (std::strcmp(model, "drop") == 0)
        return FREED_DROP;
    if (std::strcmp(model, "strict") == 0)
        return FREED_STRICT;
    std::fprintf(stderr, "MAXHOST_FREED_CALLS=%s: not one of run, drop, strict\n", model);
    std::abort();
}

// Made once and never destroyed, so that threads still running at exit
// never meet a torn-down host.
Host &host()
{
    static Host *h = [] {
        Host *made = new Host;
        made->freed_calls = freed_calls_from_environment();
        return made;
    }();
    return *h;
}

void become_main_thread(Host &h)
{
    h.main_thread = std::this_thread::get_id();
    h.main_known = true;
}

} // namespace maxhost_internal

extern "C" {

void maxhost_load(maxhost_entry ext_main)
{
    {
        Host &h = host();
        std::lock_guard<std::mutex> lock(h.mu);
        become_main_thread(h);
    }
    ext_main(nullptr);
}

t_class *maxhost_find_class(const char *name)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    for (maxclass *c : h.classes)
        if (c->name == name)
            return (t_class *)c;
    return nullptr;
}

int maxhost_class_registered(const char *name_space, const char *name)
{
    maxclass *c = (maxclass *)maxhost_find_class(name);
    return c && c->name_space == name_space;
}

int maxhost_method_count(t_class *c)
{
    return (int)((maxclass *)c)->methods.size();
}

const char *maxhost_method_name(t_class *c, int index)
{
    return ((maxclass *)c)->methods.at((size_t)index)->name.c_str();
}

int maxhost_method_argtype(t_class *c, int index)
{
    const MethodEntry *e = ((maxclass *)c)->methods.at((size_t)index);
    return e->types.empty() ? A_NOTHING : e->types[0];
}

const char *maxhost_method_attr(t_class *c, const char *message, const char *attr)
{
    for (MethodEntry *e : ((maxclass *)c)->methods)
        if (e->name == message) {
            auto it = e->attrs.find(attr);
            return it == e->attrs.end() ? nullptr : it->second.c_str();
        }
    return nullptr;
}

void *maxhost_new_object(const char *classname, short argc, t_atom *argv)
{
    maxclass *c = (maxclass *)maxhost_find_class(classname);
    if (!c || c->name_space != "box" || !c->mnew)
        return nullptr;
    typedef void *(*gimme_new)(t_symbol *, long, t_atom *);
    return ((gimme_new)c->mnew)(gensym(classname), argc, argv);
}

void maxhost_free_object(void *x)
{
    freeobject((t_object *)x);
}

int maxhost_send(void *x, const char *message, short argc, t_atom *argv)
{
    Host &h = host();
    MethodEntry *found = nullptr;
    std::thread::id me = std::this_thread::get_id();
    bool elsewhere = false; // off the main thread: may overlap its freeing
    {
        std::lock_guard<std::mutex> lock(h.mu);
        auto it = h.instances.find(x);
        if (it == h.instances.end())
            return 0;
        for (MethodEntry *e : it->second.cls->methods)
            if (std::strcmp(e->name.c_str(), message) == 0)
                found = e;
        elsewhere = !h.main_known || me != h.main_thread;
        if (elsewhere)
            it->second.delivering.push_back(me);
    }
    int understood = 1;
    if (!found || (!found->types.empty() && found->types[0] == A_CANT)) {
        object_error((t_object *)x, "doesn't understand \"%s\"", message);
        understood = 0;
    } else if (!found->types.empty() && found->types[0] == A_GIMME) {
        typedef void (*gimme)(void *, t_symbol *, long, t_atom *);
        ((gimme)found->fn)(x, found->sym, argc, argv);
    } else {
        if (argc > 0)
            object_error((t_object *)x, "%s: extra arguments ignored", message);
        ((void (*)(void *))found->fn)(x);
    }
    if (elsewhere) {
        std::lock_guard<std::mutex> lock(h.mu);
        auto &in = h.instances[x].delivering;
        in.erase(std::find(in.begin(), in.end(), me));
        h.delivered_cv.notify_all();
    }
    return understood;
}

static method cant_method(void *x, const char *name)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    auto it = h.instances.find(x);
    if (it == h.instances.end())
        return nullptr;
    for (MethodEntry *e : it->second.cls->methods)
        if (e->name == name)
            return e->fn;
    return nullptr;
}

void maxhost_assist(void *x, long code, long index, char *text500)
{
    text500[0] = '\0';
    if (method m = cant_method(x, "assist"))
        ((void (*)(void *, void *, long, long, char *))m)(x, nullptr, code, index,
                                                           text500);
}

void maxhost_dblclick(void *x)
{
    if (method m = cant_method(x, "dblclick"))
        ((void (*)(void *))m)(x);
}

int maxhost_outlet_count(void *x)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    auto it = h.instances.find(x);
    return it == h.instances.end() ? -1 : (int)it->second.outlets.size();
}

int maxhost_live_objects(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.instances.size();
}

int maxhost_run_queue(void)
{
    return run_queue(host());
}

int maxhost_wait_and_run(long timeout_ms)
{
    Host &h = host();
    {
        std::unique_lock<std::mutex> lock(h.mu);
        ++h.queue_waiters;
        h.queue_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&h] { return !h.queue.empty(); });
        --h.queue_waiters;
    }
    return run_queue(h);
}

int maxhost_run_until_sent(int count, long timeout_ms)
{
    Host &h = host();
    double deadline = now_ms() + (double)timeout_ms;
    for (;;) {
        run_queue(h);
        {
            std::unique_lock<std::mutex> lock(h.mu);
            if ((int)h.sent.size() >= count)
                return 1;
            double left = deadline - now_ms();
            if (left <= 0)
                return 0;
            ++h.queue_waiters;
            h.queue_cv.wait_for(lock, std::chrono::duration<double, std::milli>(
                                          std::min(left, 50.0)),
                                [&h] { return !h.queue.empty(); });
            --h.queue_waiters;
        }
    }
}

int maxhost_queue_length(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.queue.size();
}

int maxhost_clocks_pending(void)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    return (int)h.armed.size();
}

void maxhost_console_echo(int on)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.echo = on != 0;
}

int maxhost_console_count(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.console.size();
}

int maxhost_console_kind(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).kind;
}

const char *maxhost_console_text(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).text.c_str();
}

void *maxhost_console_object(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).object;
}

void maxhost_console_clear(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.console.clear();
}

int maxhost_sent_count(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.sent.size();
}

#define SENT_FIELD(type, name, expr)                                           \
    type maxhost_sent_##name(int index)                                         \
    {                                                                          \
        Host &h = host();                                                      \
        std::lock_guard<std::mutex> lock(h.mu);                                \
        const Sent &s = h.sent.at((size_t)index);                              \
        return expr;                                                           \
    }
SENT_FIELD(void *, object, s.object)
SENT_FIELD(int, outlet, s.outlet)
SENT_FIELD(const char *, selector, s.selector->s_name)
SENT_FIELD(int, argc, s.argc)
SENT_FIELD(double, time, s.time)
SENT_FIELD(int, on_main_thread, s.on_main ? 1 : 0)
#undef SENT_FIELD

void maxhost_sent_clear(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.sent.clear();
}

long maxhost_live_allocations(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (long)(h.allocations.size() + h.strings.size());
}

long maxhost_bad_frees(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.bad_frees;
}

int maxhost_live_threads(void)
{
    return host().live_threads.load();
}

void maxhost_hold_workers(int point)
{
    Host &h = host();
    if (point < MAXHOST_HOLD_NONE || point > MAXHOST_HOLD_EXIT)
        return;
    std::lock_guard<std::mutex> lock(h.mu);
    h.hold_point = point;
    h.hold_permits = 0;
    h.hold_cv.notify_all();
}

int maxhost_held_workers(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.held[h.hold_point];
}

void maxhost_release_one_worker(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    if (h.hold_permits < h.held[h.hold_point])
        ++h.hold_permits;
    h.hold_cv.notify_one(); // any one of them may go
}

void maxhost_clocks_by_hand(int on)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    h.clocks_by_hand = on != 0;
    h.sched_cv.notify_all();
}

int maxhost_fire_clocks(void)
{
    return fire_due_clocks(host());
}

void maxhost_on_post(maxhost_post_hook hook, void *arg)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.post_hook = hook;
    h.post_hook_arg = arg;
}

void maxhost_count_only_queue(int on)
{
    host().count_only = on != 0;
}

long maxhost_counted_calls(void)
{
    return host().counted.load();
}

method maxhost_method(t_class *c, const char *message)
{
    for (MethodEntry *e : ((maxclass *)c)->methods)
        if (e->name == message)
            return e->fn;
    return nullptr;
}

void maxhost_add_search_folder(const char *folder)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.search_path.push_back(folder);
}

void maxhost_clear_search_path(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.search_path.clear();
}

double maxhost_last_clock_delay(void)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    return h.last_clock_delay;
}

double maxhost_now(void)
{
    return now_ms();
}

const char *maxhost_freed_calls(void)
{
    static const char *const names[] = {"run", "drop", "strict"};
    return names[host().freed_calls];
}

long maxhost_refused_calls(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.refused_calls;
}

long maxhost_dropped_calls(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.dropped_calls;
}

long maxhost_stale_calls_run(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.stale_calls_run;
}

long maxhost_path_calls_off_main(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.path_calls_off_main;
}

void maxhost_reuse_freed_memory(int on)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.reuse_freed = on != 0;
}

} // extern "C"

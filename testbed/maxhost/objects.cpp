// Stand-in host: instances, their outlets, and what leaves the outlets.
#include "host_state.h"

using namespace simhost_internal;

extern "C" {

void *object_alloc(t_class *tc)
{
    maxclass *c = (maxclass *)tc;
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    if (h.fail_objects > 0) {
        --h.fail_objects;
        return nullptr;
    }
    size_t size = std::max<size_t>((size_t)c->size, sizeof(t_object));
    t_object *x = (t_object *)std::calloc(1, size);
    x->o_magic = kLiveMagic;
    h.instances[x] = Instance{c, {}};
    return x;
}

void freeobject(t_object *x)
{
    if (!x)
        return;
    Host &h = host();
    maxclass *cls = nullptr;
    {
        std::lock_guard<std::mutex> lock(h.mu);
        auto it = h.instances.find(x);
        if (it != h.instances.end())
            cls = it->second.cls;
        StringObject *s = (StringObject *)x;
        if (!cls && h.strings.erase(s)) {
            delete s;
            return;
        }
    }
    if (cls) {
        if (cls->mfree)
            ((void (*)(void *))cls->mfree)(x);
        std::lock_guard<std::mutex> lock(h.mu);
        // Calls queued for an object that is gone are dropped, never run.
        h.queue.erase(std::remove_if(h.queue.begin(), h.queue.end(),
                                     [x](const Deferred &d) { return d.object == x; }),
                      h.queue.end());
        for (Outlet *o : h.instances[x].outlets)
            delete o;
        h.instances.erase(x);
        x->o_magic = 0;
        std::free(x);
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    Clock *c = (Clock *)x;
    if (h.clocks.erase(c)) {
        delete c;
        return;
    }
    std::lock_guard<std::mutex> lock2(h.mu);
    ++h.bad_frees;
}

t_max_err object_free(void *x)
{
    freeobject((t_object *)x);
    return 0;
}

void *outlet_new(void *x, const char *)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    auto it = h.instances.find(x);
    if (it == h.instances.end())
        return nullptr;
    Outlet *o = new Outlet{x};
    it->second.outlets.insert(it->second.outlets.begin(), o);
    return o;
}

void *outlet_anything(void *outlet, t_symbol *s, short argc, t_atom *)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    Outlet *o = (Outlet *)outlet;
    auto it = h.instances.find(o->owner);
    int index = -1;
    if (it != h.instances.end()) {
        auto &outs = it->second.outlets;
        index = (int)(std::find(outs.begin(), outs.end(), o) - outs.begin());
    }
    bool on_main = h.main_known && std::this_thread::get_id() == h.main_thread;
    h.sent.push_back({o->owner, index, s, argc, now_ms(), on_main});
    if (h.echo) {
        std::printf("outlet %d  %s\n", index, s->s_name);
        std::fflush(stdout);
    }
    return nullptr;
}

} // extern "C"

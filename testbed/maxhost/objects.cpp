// Stand-in host: instances, their outlets, and what leaves the outlets.
//
// A freed object's memory is never handed back at once: its pages are made
// unreadable and kept in quarantine, so that anything that still reads the
// object (a call the host runs for it later, a thread that outlived it)
// stops the program on the spot.
#include "host_state.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

using namespace maxhost_internal;

namespace {

const size_t kQuarantine = 4096; // freed objects kept unreadable

size_t page_bytes(size_t bytes)
{
#ifdef _WIN32
    const size_t page = 65536; // VirtualAlloc's granularity
#else
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
#endif
    return (bytes + page - 1) / page * page;
}

} // namespace

namespace maxhost_internal {

void *object_pages_new(size_t bytes)
{
#ifdef _WIN32
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
}

void object_pages_poison(void *memory, size_t bytes)
{
#ifdef _WIN32
    DWORD old;
    VirtualProtect(memory, bytes, PAGE_NOACCESS, &old);
#else
    mprotect(memory, bytes, PROT_NONE);
#endif
}

void object_pages_unpoison(void *memory, size_t bytes)
{
#ifdef _WIN32
    DWORD old;
    VirtualProtect(memory, bytes, PAGE_READWRITE, &old);
#else
    mprotect(memory, bytes, PROT_READ | PROT_WRITE);
#endif
    std::memset(memory, 0, bytes);
}

void object_pages_free(void *memory, size_t bytes)
{
#ifdef _WIN32
    (void)bytes;
    VirtualFree(memory, 0, MEM_RELEASE);
#else
    munmap(memory, bytes);
#endif
}

bool is_live_instance(Host &h, void *x)
{
    return h.instances.count(x) != 0;
}

} // namespace maxhost_internal

extern "C" {

void *object_alloc(t_class *tc)
{
    maxclass *c = (maxclass *)tc;
    if (fails(FAULT_OBJECT_ALLOC))
        return nullptr;
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    size_t bytes = page_bytes(std::max<size_t>((size_t)c->size, sizeof(t_object)));
    t_object *x = nullptr;
    if (h.reuse_freed && !h.quarantine.empty() && h.quarantine.back().bytes == bytes) {
        x = (t_object *)h.quarantine.back().memory;
        h.quarantine.pop_back();
        object_pages_unpoison(x, bytes);
    } else {
        x = (t_object *)object_pages_new(bytes);
    }
    if (!x)
        return nullptr;
    x->o_magic = kLiveMagic;
    h.instances[x] = Instance{c, {}, bytes};
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
        std::unique_lock<std::mutex> lock(h.mu);
        // Messages still being delivered to it from other threads end
        // before its memory goes.
        h.delivered_cv.wait(lock, [&h, x] {
            const auto &in = h.instances[x].delivering;
            return std::all_of(in.begin(), in.end(), [](std::thread::id t) {
                return t == std::this_thread::get_id();
            });
        });
        // Under "run", calls still queued for the object stay queued.
        if (h.freed_calls != FREED_RUN) {
            h.dropped_calls +=
                (long)h.queue.remove_if([x](const Deferred &d) { return d.object == x; });
        }
        Instance gone = h.instances[x];
        for (Outlet *o : gone.outlets)
            delete o;
        h.instances.erase(x);
        x->o_magic = 0;
        object_pages_poison(x, gone.bytes);
        h.quarantine.push_back({x, gone.bytes});
        if (h.quarantine.size() > kQuarantine) {
            object_pages_free(h.quarantine.front().memory, h.quarantine.front().bytes);
            h.quarantine.pop_front();
        }
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    Clock *c = (Clock *)x;
    if (h.clocks.erase(c)) {
        h.armed.erase(c);
        delete c;
        return;
    }
    std::lock_guard<std::mutex> lock2(h.mu);
    ++h.bad_frees;
}

void *outlet_new(void *x, const char *)
{
    if (fails(FAULT_OUTLET_NEW))
        return nullptr;
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

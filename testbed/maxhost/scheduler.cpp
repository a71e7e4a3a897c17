// Stand-in host: the main-thread queue (defer_low) and the clocks, which
// fire on a scheduler thread of their own.
#include "host_state.h"

using namespace maxhost_internal;

namespace maxhost_internal {

void scheduler_loop()
{
    Host &h = host();
    std::unique_lock<std::recursive_mutex> lock(h.sched_mu);
    for (;;) {
        Clock *next = nullptr;
        for (Clock *c : h.clocks)
            if (c->set && (!next || c->due < next->due))
                next = c;
        if (!next) {
            h.sched_cv.wait(lock);
            continue;
        }
        double wait = next->due - now_ms();
        if (wait > 0) {
            h.sched_cv.wait_for(lock, std::chrono::duration<double, std::milli>(wait));
            continue;
        }
        next->set = false;
        next->fn(next->owner); // fires under the lock: freeing a clock waits
    }
}

void start_scheduler(Host &h)
{
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    if (h.scheduler_started)
        return;
    h.scheduler_started = true;
    std::thread(scheduler_loop).detach();
}

// One pass of the main loop: runs what was queued when the pass began;
// calls queued meanwhile wait for the next pass.
typedef void (*deferred_fn)(void *, t_symbol *, short, t_atom *);

int run_queue(Host &h)
{
    int ran = 0;
    size_t due;
    {
        std::lock_guard<std::mutex> lock(h.mu);
        become_main_thread(h);
        due = h.queue.size();
    }
    for (; due > 0; --due) {
        Deferred d;
        {
            std::lock_guard<std::mutex> lock(h.mu);
            if (h.queue.empty()) // calls of a freed object were dropped
                return ran;
            d = std::move(h.queue.front());
            h.queue.pop_front();
            if (!is_live_instance(h, d.object))
                ++h.stale_calls_run;
        }
        AS(deferred_fn, d.fn)(d.object, d.sym, (short)d.argv.size(),
                            d.argv.empty() ? nullptr : d.argv.data());
        ++ran;
    }
    return ran;
}

} // namespace maxhost_internal

extern "C" {

void *defer_low(void *x, method fn, t_symbol *s, short argc, t_atom *argv)
{
    Deferred d{x, fn, s, {}};
    if (argc > 0 && argv)
        d.argv.assign(argv, argv + argc);
    Host &h = host();
    {
        std::lock_guard<std::mutex> lock(h.mu);
        // A host that checks what it is given refuses anything but a live
        // object; one that drops a freed object's calls drops these too.
        if (h.freed_calls != FREED_RUN && !is_live_instance(h, x)) {
            if (h.freed_calls == FREED_STRICT)
                ++h.refused_calls;
            else
                ++h.dropped_calls;
            return nullptr;
        }
        h.queue.push_back(std::move(d));
    }
    h.queue_cv.notify_all();
    return nullptr;
}

void *clock_new(void *x, method fn)
{
    if (fails(FAULT_CLOCK_NEW))
        return nullptr;
    Host &h = host();
    start_scheduler(h);
    Clock *c = new Clock{x, fn};
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    h.clocks.insert(c);
    return c;
}

void clock_delay(void *clock, long ms)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    Clock *c = (Clock *)clock;
    if (!h.clocks.count(c))
        return;
    c->set = true;
    h.last_clock_delay = now_ms();
    c->due = h.last_clock_delay + (double)ms;
    h.sched_cv.notify_all();
}

} // extern "C"

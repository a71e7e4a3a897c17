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
        for (Clock *c : h.armed)
            if (!next || c->due < next->due)
                next = c;
        if (!next || h.clocks_by_hand) {
            h.sched_cv.wait(lock);
            continue;
        }
        double wait = next->due - now_ms();
        if (wait > 0) {
            h.sched_cv.wait_for(lock, std::chrono::duration<double, std::milli>(wait));
            continue;
        }
        next->set = false;
        h.armed.erase(next);
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
            d = h.queue.pop();
            if (!is_live_instance(h, d.object))
                ++h.stale_calls_run;
        }
        AS(deferred_fn, d.fn)(d.object, d.sym, d.argc, d.argv());
        ++ran;
    }
    return ran;
}

// Fires, on this thread, every armed clock that is due.
int fire_due_clocks(Host &h)
{
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    std::vector<Clock *> due;
    double now = now_ms();
    for (Clock *c : h.armed)
        if (c->due <= now)
            due.push_back(c);
    for (Clock *c : due) {
        c->set = false;
        h.armed.erase(c);
        c->fn(c->owner);
    }
    return (int)due.size();
}

} // namespace maxhost_internal

extern "C" {

void *defer_low(void *x, method fn, t_symbol *s, short argc, t_atom *argv)
{
    Host &h = host();
    if (h.count_only.load(std::memory_order_relaxed)) {
        h.counted.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    hold_worker(h, MAXHOST_HOLD_DEFER);
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
        Deferred &d = h.queue.push();
        d.object = x;
        d.fn = fn;
        d.sym = s;
        if (argc > 0 && argv) {
            d.argc = argc;
            if (argc <= 4)
                std::copy(argv, argv + argc, d.few);
            else
                d.many.assign(argv, argv + argc);
        }
        if (h.queue_waiters > 0)
            h.queue_cv.notify_all();
    }
    hold_worker(h, MAXHOST_HOLD_QUEUED);
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
    h.armed.insert(c);
    h.last_clock_delay = now_ms();
    c->due = h.last_clock_delay + (double)ms;
    if (!h.clocks_by_hand)
        h.sched_cv.notify_all();
}

} // extern "C"

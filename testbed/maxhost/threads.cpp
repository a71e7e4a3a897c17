// Stand-in host: threads (systhread_*), on POSIX threads.
#include "host_state.h"

using namespace maxhost_internal;

namespace maxhost_internal {

// The handle a t_systhread names, freed by systhread_detach or _join.
struct ThreadHandle {
    pthread_t thread;
};

// What the new thread itself needs, owned by it: its handle may be
// detached and deleted before the thread has even begun to run.
struct ThreadEntry {
    method entry;
    void *arg;
};

thread_local bool t_host_thread = false;

bool on_worker_thread()
{
    return t_host_thread;
}

// A worker thread that reaches the point where workers are held waits
// there, until the point moves on or a test lets it alone go on.
void hold_worker(Host &h, int point)
{
    if (!t_host_thread)
        return;
    std::unique_lock<std::mutex> lock(h.mu);
    if (h.hold_point != point)
        return;
    ++h.held[point];
    h.hold_cv.wait(lock, [&h, point] { return h.hold_point != point || h.hold_permits > 0; });
    if (h.hold_point == point)
        --h.hold_permits;
    --h.held[point];
}

void *thread_trampoline(void *p)
{
    ThreadEntry *start = (ThreadEntry *)p;
    method entry = start->entry;
    void *arg = start->arg;
    delete start;
    t_host_thread = true;
    void *result = entry(arg);
    t_host_thread = false;
    host().live_threads--;
    return result;
}

} // namespace maxhost_internal

extern "C" {

long systhread_create(method entry, void *arg, long stacksize, long, long,
                      t_systhread *thread)
{
    if (fails(FAULT_SYSTHREAD_CREATE))
        return -1;
    Host &h = host();
    ThreadHandle *start = new ThreadHandle{};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stacksize > 0)
        pthread_attr_setstacksize(&attr, (size_t)stacksize);
    h.live_threads++;
    ThreadEntry *run = new ThreadEntry{entry, arg};
    int rc = pthread_create(&start->thread, &attr, thread_trampoline, run);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        h.live_threads--;
        delete run;
        delete start;
        return -1;
    }
    *thread = start;
    return 0;
}

long systhread_detach(t_systhread thread)
{
    ThreadHandle *start = (ThreadHandle *)thread;
    if (!start)
        return -1;
    int rc = pthread_detach(start->thread);
    delete start;
    return rc;
}

void systhread_sleep(long ms)
{
    hold_worker(host(), MAXHOST_HOLD_SLEEP);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void systhread_exit(long status)
{
    hold_worker(host(), MAXHOST_HOLD_EXIT);
    if (t_host_thread) {
        t_host_thread = false;
        host().live_threads--;
    }
    pthread_exit((void *)(intptr_t)status);
}

} // extern "C"

// Stand-in host: failure on demand. Every host call that can fail in the
// real host can be made to fail here on its n-th use from now, with the
// failure its documentation names (null, or a non-zero result), so that a
// test can walk through every failure an object may meet. Each call's uses
// are counted too, so that a test can first count what a normal run makes.
#include "host_state.h"

using namespace maxhost_internal;

namespace {

const char *const kNames[FAULT_COUNT] = {
    "sysmem_newptrclear", "charset_unicodetoutf8", "charset_utf8tounicode",
    "string_new",         "clock_new",             "outlet_new",
    "object_alloc",       "path_absolutepath",     "path_nameconform",
    "systhread_create"};

// Uses are counted from the last maxhost_calls_reset; a failure is armed as
// a range of use numbers (first to last, 0 when none).
struct Faults {
    std::mutex mu;
    long uses[FAULT_COUNT] = {};
    long fail_first[FAULT_COUNT] = {};
    long fail_last[FAULT_COUNT] = {};
    long fired = 0;
};

Faults &faults()
{
    static Faults *f = new Faults; // never destroyed, like the host
    return *f;
}

int fault_index(const char *name)
{
    for (int i = 0; name && i < FAULT_COUNT; ++i)
        if (std::strcmp(kNames[i], name) == 0)
            return i;
    return -1;
}

void arm(int call, long first, long count)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    f.fail_first[call] = count > 0 ? f.uses[call] + first : 0;
    f.fail_last[call] = count > 0 ? f.uses[call] + first + count - 1 : 0;
}

} // namespace

namespace maxhost_internal {

bool fails(Fault call)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    long use = ++f.uses[call];
    if (f.fail_first[call] == 0 || use < f.fail_first[call] || use > f.fail_last[call])
        return false;
    ++f.fired;
    return true;
}

} // namespace maxhost_internal

extern "C" {

int maxhost_fault_count(void)
{
    return FAULT_COUNT;
}

const char *maxhost_fault_name(int index)
{
    return index >= 0 && index < FAULT_COUNT ? kNames[index] : nullptr;
}

long maxhost_calls(const char *name)
{
    int i = fault_index(name);
    if (i < 0)
        return -1;
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.uses[i];
}

void maxhost_calls_reset(void)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    for (int i = 0; i < FAULT_COUNT; ++i)
        f.uses[i] = f.fail_first[i] = f.fail_last[i] = 0;
    f.fired = 0;
}

int maxhost_fail_call(const char *name, long nth)
{
    int i = fault_index(name);
    if (i < 0 || nth < 1)
        return 0;
    arm(i, nth, 1);
    return 1;
}

long maxhost_faults_fired(void)
{
    Faults &f = faults();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.fired;
}

void maxhost_fail_next_threads(int count)
{
    arm(FAULT_SYSTHREAD_CREATE, 1, count);
}

void maxhost_fail_next_objects(int count)
{
    arm(FAULT_OBJECT_ALLOC, 1, count);
}

} // extern "C"

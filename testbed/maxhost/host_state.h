// The stand-in host's state, shared by the files that implement it: one
// file per subsystem of the host's object API (classes and symbols, objects
// and outlets, the main-thread queue and clocks, threads, the console,
// memory and text, files), and the controls that tests and tools use.
// Private to testbed/maxhost.
#pragma once

#include "maxhost.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct MethodEntry;
struct maxclass;

struct hashtab {
    maxclass *owner;
};

struct maxclass {
    std::string name;
    method mnew;
    method mfree;
    long size;
    short newtype;
    std::vector<MethodEntry *> methods;
    std::string name_space;
    hashtab table{this};
};

struct MethodEntry {
    t_object header; // the host hands entries out as objects
    std::string name;
    t_symbol *sym = nullptr; // the name as a symbol
    method fn = nullptr;
    std::vector<short> types;
    std::map<std::string, std::string> attrs;
};

namespace maxhost_internal {

const t_atom_long kLiveMagic = 0x51424958; // set while an instance lives

struct Outlet {
    void *owner;
};

struct Instance {
    maxclass *cls;
    std::vector<Outlet *> outlets; // leftmost first
    size_t bytes;                  // of its pages (object memory)
    std::vector<std::thread::id> delivering; // threads in one of its methods
};

// What the host does with calls still queued for an object when it is
// freed (MAXHOST_FREED_CALLS): the host's documentation promises nothing,
// so the stand-in plays each model a host may follow.
enum FreedCalls {
    FREED_RUN,    // "run" (the default): they run later, with the freed pointer
    FREED_DROP,   // "drop": they are dropped
    FREED_STRICT, // "strict": dropped, and defer_low refuses (and counts) any
                  // first argument that is not a live object of object_alloc
};

// A freed object, its pages kept unreadable.
struct Freed {
    void *memory;
    size_t bytes;
};

struct Clock {
    void *owner;
    method fn;
    bool set = false;
    double due = 0;
};

// The pages that one block of host memory lies in (under Windows; natively
// the block itself).
struct Block {
    void *base;
    size_t bytes;
};

struct StringObject {
    std::string text;
};

// A queued call. Its atoms are copied: a few into the call itself, more
// into memory of their own.
struct Deferred {
    void *object = nullptr;
    method fn = nullptr;
    t_symbol *sym = nullptr;
    short argc = 0;
    t_atom few[4];
    std::vector<t_atom> many;
    t_atom *argv() { return argc <= 0 ? nullptr : argc <= 4 ? few : many.data(); }
};

// The main-thread queue, in the order the calls came. Its storage is kept
// once every call has run, so that queueing allocates nothing in a patch
// that keeps its queue short.
struct CallQueue {
    std::vector<Deferred> calls;
    size_t head = 0; // the next call to run

    size_t size() const { return calls.size() - head; }
    bool empty() const { return head == calls.size(); }
    Deferred &push()
    {
        calls.emplace_back();
        return calls.back();
    }
    Deferred pop()
    {
        Deferred d = std::move(calls[head++]);
        if (head == calls.size()) {
            calls.clear();
            head = 0;
        }
        return d;
    }
    // Removes the calls `drop` picks; how many.
    template <class Pred> size_t remove_if(Pred drop)
    {
        auto end = std::remove_if(calls.begin() + (long)head, calls.end(), drop);
        size_t n = (size_t)(calls.end() - end);
        calls.erase(end, calls.end());
        return n;
    }
};

struct Line {
    int kind;
    void *object;
    std::string text;
};

struct Sent {
    void *object;
    int outlet;
    t_symbol *selector;
    int argc;
    double time;
    bool on_main;
};

double now_ms();

// Everything the host keeps. Made once and never destroyed, so that threads
// still running at exit never meet a torn-down host.
struct Host {
    std::mutex mu; // guards everything below but the scheduler
    std::unordered_map<std::string, t_symbol *> symbols;
    std::vector<maxclass *> classes;
    std::unordered_set<MethodEntry *> entries;
    std::unordered_map<void *, Instance> instances;
    std::unordered_set<StringObject *> strings;
    std::unordered_map<void *, Block> allocations; // host memory handed out
    std::deque<Block> freed_blocks; // Windows: freed, kept inaccessible
    long bad_frees = 0;
    std::vector<Line> console;
    std::vector<Sent> sent;
    std::vector<std::string> search_path;
    bool echo = false;
    std::thread::id main_thread;
    bool main_known = false;

    CallQueue queue;
    std::condition_variable queue_cv;
    int queue_waiters = 0;              // threads waiting on queue_cv
    std::atomic<bool> count_only{false}; // defer_low only counts
    std::atomic<long> counted{0};
    std::condition_variable delivered_cv; // a method delivered by maxhost_send returned

    std::recursive_mutex sched_mu; // held while a clock fires
    std::condition_variable_any sched_cv;
    std::unordered_set<Clock *> clocks;
    std::unordered_set<Clock *> armed; // those set to fire
    bool scheduler_started = false;
    bool clocks_by_hand = false; // fired by maxhost_fire_clocks only

    int hold_point = 0;    // MAXHOST_HOLD_*: where worker threads wait
    int held[5] = {};      // worker threads waiting at each point now
    long hold_permits = 0; // waiting threads let go one by one
    std::condition_variable hold_cv;

    maxhost_post_hook post_hook = nullptr;
    void *post_hook_arg = nullptr;

    std::atomic<int> live_threads{0};
    double last_clock_delay = -1;

    FreedCalls freed_calls = FREED_RUN;
    long refused_calls = 0;      // defer_low calls refused under "strict"
    long dropped_calls = 0;      // calls of freed objects dropped
    long stale_calls_run = 0;    // calls run for freed objects under "run"
    std::deque<Freed> quarantine; // freed objects, oldest first
    bool reuse_freed = false;    // the next object takes the newest freed pages
    long path_calls_off_main = 0; // search path used outside the main thread
};

Host &host();
void become_main_thread(Host &h);

// Object memory (objects.cpp): whole pages of their own, so that a freed
// object's pages can be made unreadable: any read of a freed object then
// stops the program, with or without a sanitizer, natively and under Wine.
void *object_pages_new(size_t bytes);
void object_pages_poison(void *memory, size_t bytes);
void object_pages_unpoison(void *memory, size_t bytes);
void object_pages_free(void *memory, size_t bytes);
bool is_live_instance(Host &h, void *x); // h.mu held

// Threads (threads.cpp): whether this thread was made by systhread_create,
// and the hold of worker threads at `point` (MAXHOST_HOLD_*).
bool on_worker_thread();
void hold_worker(Host &h, int point);

// The host calls that can be made to fail on demand (faults.cpp), each on
// its n-th use. fails() counts one use of the call and says whether this
// use is to fail; it takes a lock of its own, so it may be called with
// h.mu held or not.
enum Fault {
    FAULT_SYSMEM_NEWPTRCLEAR,
    FAULT_CHARSET_UNICODETOUTF8,
    FAULT_CHARSET_UTF8TOUNICODE,
    FAULT_STRING_NEW,
    FAULT_CLOCK_NEW,
    FAULT_OUTLET_NEW,
    FAULT_OBJECT_ALLOC,
    FAULT_PATH_ABSOLUTEPATH,
    FAULT_PATH_NAMECONFORM,
    FAULT_SYSTHREAD_CREATE,
    FAULT_COUNT
};
bool fails(Fault call);

// Console (console.cpp)
void console_line(int kind, t_object *x, const char *fmt, va_list ap);

// Memory and text (memory.cpp)
void *counted_alloc(size_t bytes);
bool counted_free(void *p);
std::string utf16_to_utf8(const unsigned short *s, long units);
std::vector<unsigned short> utf8_to_utf16(const char *text);

// The main-thread queue and clocks (scheduler.cpp)
int run_queue(Host &h);
int fire_due_clocks(Host &h);

// Casts between the host's generic method type and the real signatures.
#define AS(type, fn) ((type)(void (*)(void))(fn))

} // namespace maxhost_internal

// A small, real implementation of the host object API for running quenbrix
// where the host is absent: natively for tests and tools, and built with
// mingw-w64 as MaxAPI.dll for the Windows plug-in under Wine.
#include "simhost.h"

#include <pthread.h>
#include <sys/stat.h>

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

#ifdef _WIN32
#include <windows.h>
#endif

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

namespace {

const t_atom_long kLiveMagic = 0x51424958; // set while an instance lives

} // namespace

struct MethodEntry {
    t_object header; // the host hands entries out as objects
    std::string name;
    method fn = nullptr;
    std::vector<short> types;
    std::map<std::string, std::string> attrs;
};

namespace {

struct Outlet {
    void *owner;
};

struct Instance {
    maxclass *cls;
    std::vector<Outlet *> outlets; // leftmost first
};

struct Clock {
    void *owner;
    method fn;
    bool set = false;
    double due = 0;
};

struct StringObject {
    std::string text;
};

struct Deferred {
    void *object;
    method fn;
    t_symbol *sym;
    std::vector<t_atom> argv;
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

double now_ms()
{
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

// Everything the host keeps. Made once and never destroyed, so that threads
// still running at exit never meet a torn-down host.
struct Host {
    std::mutex mu; // guards everything below but the scheduler
    std::unordered_map<std::string, t_symbol *> symbols;
    std::vector<maxclass *> classes;
    std::unordered_set<MethodEntry *> entries;
    std::unordered_map<void *, Instance> instances;
    std::unordered_set<StringObject *> strings;
    std::unordered_set<void *> allocations;
    long bad_frees = 0;
    std::vector<Line> console;
    std::vector<Sent> sent;
    std::vector<std::string> search_path;
    bool echo = false;
    int fail_threads = 0;
    int fail_objects = 0;
    std::thread::id main_thread;
    bool main_known = false;

    std::deque<Deferred> queue;
    std::condition_variable queue_cv;

    std::recursive_mutex sched_mu; // held while a clock fires
    std::condition_variable_any sched_cv;
    std::unordered_set<Clock *> clocks;
    bool scheduler_started = false;

    std::atomic<int> live_threads{0};
    double last_clock_delay = -1;
};

Host &host()
{
    static Host *h = new Host;
    return *h;
}

void become_main_thread(Host &h)
{
    h.main_thread = std::this_thread::get_id();
    h.main_known = true;
}

std::string vformat(const char *fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    std::string out((size_t)n + 1, '\0');
    vsnprintf(&out[0], out.size(), fmt, ap);
    out.resize((size_t)n);
    return out;
}

void console_line(int kind, t_object *x, const char *fmt, va_list ap)
{
    std::string text = vformat(fmt, ap);
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.console.push_back({kind, x, text});
    if (h.echo) {
        static const char *kinds[] = {"", "warning: ", "error: "};
        auto it = h.instances.find(x);
        std::string tag = it != h.instances.end() ? it->second.cls->name + ": " : "";
        std::printf("console  %s%s%s\n", tag.c_str(), kinds[kind], text.c_str());
        std::fflush(stdout);
    }
}

void *counted_alloc(size_t bytes)
{
    void *p = std::calloc(1, bytes ? bytes : 1);
    if (!p)
        return nullptr;
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.allocations.insert(p);
    return p;
}

bool counted_free(void *p)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    if (!h.allocations.erase(p)) {
        ++h.bad_frees;
        return false;
    }
    std::free(p);
    return true;
}

// UTF-8 <-> UTF-16 with U+FFFD for anything malformed (lone surrogates,
// stray or truncated bytes), so no input can make either side overrun.
std::string utf16_to_utf8(const unsigned short *s, long units)
{
    std::string out;
    for (long i = 0; i < units; ++i) {
        unsigned long c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<unsigned short> utf8_to_utf16(const char *text)
{
    const unsigned char *s = (const unsigned char *)text;
    size_t n = std::strlen(text);
    std::vector<unsigned short> out;
    for (size_t i = 0; i < n;) {
        unsigned long c = s[i];
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + len <= n;
        unsigned long cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back((unsigned short)(0xD800 + (cp >> 10)));
            out.push_back((unsigned short)(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back((unsigned short)cp);
        }
        i += len;
    }
    return out;
}

bool is_file(const std::string &path)
{
#ifdef _WIN32
    std::vector<unsigned short> wide = utf8_to_utf16(path.c_str());
    wide.push_back(0);
    DWORD attrs = GetFileAttributesW((const wchar_t *)wide.data());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool is_absolute(const std::string &p)
{
    if (!p.empty() && (p[0] == '/' || p[0] == '\\'))
        return true;
    return p.size() > 2 && p[1] == ':' && (p[2] == '/' || p[2] == '\\');
}

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

typedef void (*deferred_fn)(void *, t_symbol *, short, t_atom *);
// Casts between the host's generic method type and the real signatures.
#define AS(type, fn) ((type)(void (*)(void))(fn))

// One pass of the main loop: runs what was queued when the pass began;
// calls queued meanwhile wait for the next pass.
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
            if (h.queue.empty()) // entries of a freed object were dropped
                return ran;
            d = std::move(h.queue.front());
            h.queue.pop_front();
        }
        AS(deferred_fn, d.fn)(d.object, d.sym, (short)d.argv.size(),
                            d.argv.empty() ? nullptr : d.argv.data());
        ++ran;
    }
    return ran;
}

} // namespace

extern "C" {

t_symbol *gensym(const char *text)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    std::string key(text ? text : "");
    auto it = h.symbols.find(key);
    if (it != h.symbols.end())
        return it->second;
    t_symbol *s = new t_symbol;
    s->s_name = new char[key.size() + 1];
    std::memcpy(s->s_name, key.c_str(), key.size() + 1);
    s->s_thing = nullptr;
    h.symbols[key] = s;
    return s;
}

long atom_gettype(const t_atom *a)
{
    return a ? a->a_type : A_NOTHING;
}

t_symbol *atom_getsym(const t_atom *a)
{
    if (a && a->a_type == A_SYM && a->a_w.w_sym)
        return a->a_w.w_sym;
    return gensym("");
}

t_class *class_new(const char *name, method mnew, method mfree, long size,
                   method, short type, ...)
{
    maxclass *c = new maxclass{name, mnew, mfree, size, type, {}, {}};
    c->table.owner = c;
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.classes.push_back(c);
    return (t_class *)c;
}

t_max_err class_addmethod(t_class *tc, method m, const char *name, ...)
{
    maxclass *c = (maxclass *)tc;
    MethodEntry *e = new MethodEntry();
    e->name = name;
    e->fn = m;
    va_list ap;
    va_start(ap, name);
    for (int i = 0; i < 8; ++i) {
        int t = va_arg(ap, int);
        if (t == 0)
            break;
        e->types.push_back((short)t);
    }
    va_end(ap);
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    c->methods.push_back(e);
    h.entries.insert(e);
    return 0;
}

t_max_err class_register(t_symbol *name_space, t_class *tc)
{
    ((maxclass *)tc)->name_space = name_space->s_name;
    return 0;
}

void *class_extra_lookup(t_class *tc, t_symbol *key)
{
    if (!tc || !key || std::strcmp(key->s_name, "methods") != 0)
        return nullptr;
    return &((maxclass *)tc)->table;
}

t_max_err hashtab_lookup(t_hashtab *table, t_symbol *key, t_object **value)
{
    *value = nullptr;
    for (MethodEntry *e : table->owner->methods)
        if (e->name == key->s_name) {
            *value = &e->header;
            return 0;
        }
    return -1;
}

t_max_err object_addattr_parse(t_object *x, const char *attrname, t_symbol *,
                               long, const char *text)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    MethodEntry *e = (MethodEntry *)x; // header is the first member
    if (!h.entries.count(e))
        return -1;
    e->attrs[attrname] = text;
    return 0;
}

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

void *defer_low(void *x, method fn, t_symbol *s, short argc, t_atom *argv)
{
    Deferred d{x, fn, s, {}};
    if (argc > 0 && argv)
        d.argv.assign(argv, argv + argc);
    Host &h = host();
    {
        std::lock_guard<std::mutex> lock(h.mu);
        h.queue.push_back(std::move(d));
    }
    h.queue_cv.notify_all();
    return nullptr;
}

void *clock_new(void *x, method fn)
{
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

void clock_unset(void *clock)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    Clock *c = (Clock *)clock;
    if (h.clocks.count(c))
        c->set = false;
}

long systhread_create(method entry, void *arg, long stacksize, long, long,
                      t_systhread *thread)
{
    Host &h = host();
    {
        std::lock_guard<std::mutex> lock(h.mu);
        if (h.fail_threads > 0) {
            --h.fail_threads;
            return -1;
        }
    }
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

long systhread_join(t_systhread thread, unsigned int *status)
{
    ThreadHandle *start = (ThreadHandle *)thread;
    if (!start)
        return -1;
    void *result = nullptr;
    int rc = pthread_join(start->thread, &result);
    if (status)
        *status = (unsigned int)(uintptr_t)result;
    delete start;
    return rc;
}

void systhread_sleep(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void systhread_exit(long status)
{
    if (t_host_thread) {
        t_host_thread = false;
        host().live_threads--;
    }
    pthread_exit((void *)(intptr_t)status);
}

void object_post(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(SIMHOST_POST, x, fmt, ap);
    va_end(ap);
}

void object_warn(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(SIMHOST_WARN, x, fmt, ap);
    va_end(ap);
}

void object_error(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(SIMHOST_ERROR, x, fmt, ap);
    va_end(ap);
}

char *sysmem_newptrclear(t_ptr_size size)
{
    return (char *)counted_alloc((size_t)size);
}

void sysmem_freeptr(void *ptr)
{
    if (ptr)
        counted_free(ptr);
}

char *charset_unicodetoutf8(unsigned short *text, long units, long *outlen)
{
    if (!text)
        return nullptr;
    if (units < 0)
        for (units = 0; text[units]; ++units) {
        }
    std::string utf8 = utf16_to_utf8(text, units);
    char *out = (char *)counted_alloc(utf8.size() + 1);
    if (!out)
        return nullptr;
    std::memcpy(out, utf8.c_str(), utf8.size() + 1);
    if (outlen)
        *outlen = (long)utf8.size();
    return out;
}

unsigned short *charset_utf8tounicode(char *text, long *outlen)
{
    if (!text)
        return nullptr;
    std::vector<unsigned short> wide = utf8_to_utf16(text);
    unsigned short *out =
        (unsigned short *)counted_alloc((wide.size() + 1) * sizeof(unsigned short));
    if (!out)
        return nullptr;
    if (!wide.empty())
        std::memcpy(out, wide.data(), wide.size() * sizeof(unsigned short));
    if (outlen)
        *outlen = (long)wide.size();
    return out;
}

t_string *string_new(const char *text)
{
    StringObject *s = new StringObject{text ? text : ""};
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.strings.insert(s);
    return (t_string *)s;
}

void string_append(t_string *x, const char *text)
{
    if (x && text)
        ((StringObject *)x)->text += text;
}

const char *string_getptr(t_string *x)
{
    return x ? ((StringObject *)x)->text.c_str() : "";
}

t_max_err path_absolutepath(t_symbol **result, const t_symbol *name,
                            const t_fourcc *, short)
{
    *result = nullptr;
    if (!name || !name->s_name[0])
        return -1;
    std::string wanted = name->s_name;
    std::vector<std::string> candidates;
    if (is_absolute(wanted)) {
        candidates.push_back(wanted);
    } else {
        Host &h = host();
        std::lock_guard<std::mutex> lock(h.mu);
        for (const std::string &folder : h.search_path)
            candidates.push_back(folder + "/" + wanted);
    }
    for (std::string &path : candidates) {
        if (is_file(path)) {
            std::replace(path.begin(), path.end(), '\\', '/'); // host form
            *result = gensym(path.c_str());
            return 0;
        }
    }
    return -1;
}

short path_nameconform(const char *src, char *dst, long style, long)
{
    size_t n = std::strlen(src);
    if (n >= MAX_PATH_CHARS) {
        dst[0] = '\0';
        return 1;
    }
    std::memcpy(dst, src, n + 1);
#ifdef _WIN32
    if (style == PATH_STYLE_NATIVE)
        std::replace(dst, dst + n, '/', '\\');
#else
    (void)style;
#endif
    return 0;
}

// ---- the stand-in's own controls ----

void simhost_load(simhost_entry ext_main)
{
    {
        Host &h = host();
        std::lock_guard<std::mutex> lock(h.mu);
        become_main_thread(h);
    }
    ext_main(nullptr);
}

t_class *simhost_find_class(const char *name)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    for (maxclass *c : h.classes)
        if (c->name == name)
            return (t_class *)c;
    return nullptr;
}

int simhost_class_registered(const char *name_space, const char *name)
{
    maxclass *c = (maxclass *)simhost_find_class(name);
    return c && c->name_space == name_space;
}

int simhost_method_count(t_class *c)
{
    return (int)((maxclass *)c)->methods.size();
}

const char *simhost_method_name(t_class *c, int index)
{
    return ((maxclass *)c)->methods.at((size_t)index)->name.c_str();
}

int simhost_method_argtype(t_class *c, int index)
{
    const MethodEntry *e = ((maxclass *)c)->methods.at((size_t)index);
    return e->types.empty() ? A_NOTHING : e->types[0];
}

const char *simhost_method_attr(t_class *c, const char *message, const char *attr)
{
    for (MethodEntry *e : ((maxclass *)c)->methods)
        if (e->name == message) {
            auto it = e->attrs.find(attr);
            return it == e->attrs.end() ? nullptr : it->second.c_str();
        }
    return nullptr;
}

void *simhost_new_object(const char *classname, short argc, t_atom *argv)
{
    maxclass *c = (maxclass *)simhost_find_class(classname);
    if (!c)
        return nullptr;
    typedef void *(*gimme_new)(t_symbol *, long, t_atom *);
    return ((gimme_new)c->mnew)(gensym(classname), argc, argv);
}

void simhost_free_object(void *x)
{
    freeobject((t_object *)x);
}

int simhost_send(void *x, const char *message, short argc, t_atom *argv)
{
    Host &h = host();
    MethodEntry *found = nullptr;
    {
        std::lock_guard<std::mutex> lock(h.mu);
        auto it = h.instances.find(x);
        if (it == h.instances.end())
            return 0;
        for (MethodEntry *e : it->second.cls->methods)
            if (e->name == message)
                found = e;
    }
    if (!found || (!found->types.empty() && found->types[0] == A_CANT)) {
        object_error((t_object *)x, "doesn't understand \"%s\"", message);
        return 0;
    }
    if (!found->types.empty() && found->types[0] == A_GIMME) {
        typedef void (*gimme)(void *, t_symbol *, long, t_atom *);
        ((gimme)found->fn)(x, gensym(message), argc, argv);
    } else {
        if (argc > 0)
            object_error((t_object *)x, "%s: extra arguments ignored", message);
        ((void (*)(void *))found->fn)(x);
    }
    return 1;
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

void simhost_assist(void *x, long code, long index, char *text500)
{
    text500[0] = '\0';
    if (method m = cant_method(x, "assist"))
        ((void (*)(void *, void *, long, long, char *))m)(x, nullptr, code, index,
                                                           text500);
}

void simhost_dblclick(void *x)
{
    if (method m = cant_method(x, "dblclick"))
        ((void (*)(void *))m)(x);
}

int simhost_outlet_count(void *x)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    auto it = h.instances.find(x);
    return it == h.instances.end() ? -1 : (int)it->second.outlets.size();
}

int simhost_live_objects(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.instances.size();
}

int simhost_run_queue(void)
{
    return run_queue(host());
}

int simhost_wait_and_run(long timeout_ms)
{
    Host &h = host();
    {
        std::unique_lock<std::mutex> lock(h.mu);
        h.queue_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&h] { return !h.queue.empty(); });
    }
    return run_queue(h);
}

int simhost_run_until_sent(int count, long timeout_ms)
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
            h.queue_cv.wait_for(lock, std::chrono::duration<double, std::milli>(
                                          std::min(left, 50.0)),
                                [&h] { return !h.queue.empty(); });
        }
    }
}

int simhost_queue_length(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.queue.size();
}

int simhost_clocks_pending(void)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    int n = 0;
    for (Clock *c : h.clocks)
        n += c->set ? 1 : 0;
    return n;
}

void simhost_console_echo(int on)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.echo = on != 0;
}

int simhost_console_count(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.console.size();
}

int simhost_console_kind(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).kind;
}

const char *simhost_console_text(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).text.c_str();
}

void *simhost_console_object(int index)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.console.at((size_t)index).object;
}

void simhost_console_clear(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.console.clear();
}

int simhost_sent_count(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (int)h.sent.size();
}

#define SENT_FIELD(type, name, expr)                                           \
    type simhost_sent_##name(int index)                                         \
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

void simhost_sent_clear(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.sent.clear();
}

long simhost_live_allocations(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return (long)(h.allocations.size() + h.strings.size());
}

long simhost_bad_frees(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    return h.bad_frees;
}

int simhost_live_threads(void)
{
    return host().live_threads.load();
}

void simhost_fail_next_threads(int count)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.fail_threads = count;
}

void simhost_fail_next_objects(int count)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.fail_objects = count;
}

void simhost_add_search_folder(const char *folder)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.search_path.push_back(folder);
}

void simhost_clear_search_path(void)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.search_path.clear();
}

double simhost_last_clock_delay(void)
{
    Host &h = host();
    std::lock_guard<std::recursive_mutex> lock(h.sched_mu);
    return h.last_clock_delay;
}

double simhost_now(void)
{
    return now_ms();
}

} // extern "C"

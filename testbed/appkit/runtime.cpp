// The stand-in Objective-C runtime: classes and selectors interned by name,
// method lookup, reference counts with zombies, an autorelease pool, and
// the lookup under objc_msgSend (objc_msgsend_x86_64.S).
//
// As in the real runtime, messages may be sent from any thread: lookup,
// reference counts and the records are guarded by one lock. What a method
// then does is the model's business; AppKit's own state is the main
// thread's, and each message records whether it came from there.
#include "objects.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Runtime {
    std::map<std::string, std::unique_ptr<objc_selector>> selectors;
    std::map<std::string, objc_class *> classes;
    std::vector<std::unique_ptr<objc_class>> class_objects; // and metaclasses
    std::vector<std::unique_ptr<objc_object>> objects; // all but classes
    std::vector<id> pool;
    std::vector<std::pair<id, std::string>> messages;
    std::vector<std::string> off_main; // selectors sent from another thread
    long live = 0;
    bool appkit_defined = false;
    std::thread::id main_thread = std::this_thread::get_id();
};

std::recursive_mutex &rt_lock()
{
    static std::recursive_mutex m;
    return m;
}

Runtime &rt()
{
    static Runtime r;
    return r;
}

[[noreturn]] void fault(const char *what, id receiver, SEL sel)
{
    std::fprintf(stderr, "appkit: %s: -[%s %s] (object %p)\n", what,
                 receiver && receiver->isa ? receiver->isa->name.c_str() : "?",
                 sel ? sel->name.c_str() : "?", (void *)receiver);
    std::abort();
}

objc_class *new_class(const char *name, objc_class *superclass)
{
    auto *meta = new objc_class;
    meta->name = name;
    meta->superclass = superclass ? superclass->isa : nullptr;
    auto *cls = new objc_class;
    cls->isa = meta;
    cls->name = name;
    cls->superclass = superclass;
    rt().classes[name] = cls;
    rt().class_objects.emplace_back(meta);
    rt().class_objects.emplace_back(cls);
    return cls;
}

// What every object answers, as NSObject does.
id object_retain(id self, SEL)
{
    return appkit::retain(self);
}

// A test's hook on the next release of one object (appkit::on_release).
std::mutex hook_lock;
id hooked = nullptr;
std::function<void()> release_hook;

void object_release(id self, SEL)
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hook_lock);
        if (self == hooked) {
            hook.swap(release_hook);
            hooked = nullptr;
        }
    }
    if (hook)
        hook();
    appkit::release(self);
}

id object_autorelease(id self, SEL)
{
    return appkit::autorelease(self);
}

BOOL object_is_kind_of_class(id self, SEL, Class cls)
{
    for (Class c = self->isa; c; c = c->superclass)
        if (c == cls)
            return YES;
    return NO;
}

void define_runtime_classes()
{
    if (rt().appkit_defined)
        return;
    rt().appkit_defined = true;
    objc_class *root = new_class("NSObject", nullptr);
    appkit::add_method(root, "retain", appkit::imp(object_retain));
    appkit::add_method(root, "release", appkit::imp(object_release));
    appkit::add_method(root, "autorelease", appkit::imp(object_autorelease));
    appkit::add_method(root, "isKindOfClass:", appkit::imp(object_is_kind_of_class));
    appkit::define_appkit();
}

} // namespace

extern "C" Class objc_getClass(const char *name)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    define_runtime_classes();
    auto it = rt().classes.find(name);
    return it == rt().classes.end() ? nullptr : it->second;
}

extern "C" SEL sel_registerName(const char *name)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    auto &slot = rt().selectors[name];
    if (!slot) {
        slot.reset(new objc_selector);
        slot->name = name;
    }
    return slot.get();
}

// Called by objc_msgSend (objc_msgsend_x86_64.S) with its first two
// arguments: the receiver (never nil here) and the selector. Returns the
// method to jump to.
extern "C" IMP appkit_lookup(id self, SEL sel)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    if (self->dead)
        fault("message to a deallocated object", self, sel);
    for (objc_class *c = self->isa; c; c = c->superclass) {
        auto it = c->methods.find(sel);
        if (it != c->methods.end()) {
            rt().messages.emplace_back(self, sel->name);
            if (std::this_thread::get_id() != rt().main_thread)
                rt().off_main.push_back(sel->name);
            return it->second;
        }
    }
    fault("unrecognized selector", self, sel);
}

namespace appkit {

void on_release(id object, std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(hook_lock);
    hooked = object;
    release_hook = std::move(hook);
}

const char *selector_name(SEL sel)
{
    return sel->name.c_str();
}

void adopt(objc_object *object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    if (object->counted)
        ++rt().live;
    rt().objects.emplace_back(object);
}

id retain(id object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    if (object->dead)
        fault("retain of a deallocated object", object, nullptr);
    if (object->counted)
        ++object->refs;
    return object;
}

void release(id object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    if (object->dead)
        fault("release of a deallocated object", object, nullptr);
    if (!object->counted || --object->refs > 0)
        return;
    object->dead = true;
    --rt().live;
    object->dealloc();
}

id autorelease(id object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    rt().pool.push_back(object);
    return object;
}

void drain_autorelease_pool()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    // Releasing may autorelease more; drain until empty.
    while (!rt().pool.empty()) {
        std::vector<id> batch;
        batch.swap(rt().pool);
        for (id object : batch)
            release(object);
    }
}

long live_objects()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return rt().live;
}

long retain_count(id object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return object->dead ? 0 : object->refs;
}

bool deallocated(id object)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return object->dead;
}

std::vector<std::pair<id, std::string>> messages()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return rt().messages;
}

std::vector<std::string> messages_to(id receiver)
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    std::vector<std::string> out;
    for (auto &m : rt().messages)
        if (m.first == receiver)
            out.push_back(m.second);
    return out;
}

void clear_records_runtime()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    rt().messages.clear();
    rt().off_main.clear();
}

std::vector<std::string> messages_off_main()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return rt().off_main;
}

bool on_main_thread()
{
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    return std::this_thread::get_id() == rt().main_thread;
}

void reset()
{
    on_release(nullptr, nullptr);
    std::lock_guard<std::recursive_mutex> lock(rt_lock());
    rt().main_thread = std::this_thread::get_id();
    define_runtime_classes();
    reset_appkit();
    drain_autorelease_pool();
    rt().objects.clear();
    rt().live = 0;
    clear_records();
}

Class define_class(const char *name, const char *superclass)
{
    define_runtime_classes();
    return new_class(name, objc_getClass(superclass));
}

void add_method(Class cls, const char *selector, IMP imp)
{
    cls->methods[sel_registerName(selector)] = imp;
}

void add_class_method(Class cls, const char *selector, IMP imp)
{
    cls->isa->methods[sel_registerName(selector)] = imp;
}

id make_object(Class cls)
{
    auto *object = new objc_object;
    object->isa = cls;
    object->counted = true;
    adopt(object);
    return object;
}

} // namespace appkit

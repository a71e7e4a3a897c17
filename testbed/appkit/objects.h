// The stand-in runtime's objects and classes, shared by runtime.cpp and the
// AppKit model in appkit.cpp.
#pragma once

#include "appkit.h"

#include <map>
#include <string>

// Every object: its class first, then its reference count. A class is an
// object too, whose class (its metaclass) holds the class methods.
struct objc_object {
    Class isa = nullptr;
    long refs = 1;
    bool counted = false; // made by the model and included in live_objects()
    bool dead = false;    // deallocated: kept as a zombie until reset()
    virtual ~objc_object() = default;
    virtual void dealloc() {} // lets go of what the object holds
};

struct objc_class : objc_object {
    std::string name;
    Class superclass = nullptr;
    std::map<SEL, IMP> methods;
};

struct objc_selector {
    std::string name;
};

namespace appkit {

const char *selector_name(SEL sel);

// Takes a new object into the runtime's keeping (and counting).
void adopt(objc_object *object);

// Makes an object of class `name`, counted, with a count of 1.
template <typename T> T *make(const char *name)
{
    T *object = new T;
    object->isa = objc_getClass(name);
    object->counted = true;
    adopt(object);
    return object;
}

// A singleton of class `name`, alive until reset().
template <typename T> T *make_singleton(const char *name)
{
    T *object = new T;
    object->isa = objc_getClass(name);
    adopt(object);
    return object;
}

id retain(id object);
void release(id object);
id autorelease(id object);

void clear_records_runtime();

// Counts one use of a call that can fail on demand (appkit.h); true when
// this use is to fail.
bool fails(const char *call);

// The process as the model has it; false when the call is to fail.
bool process_name(std::string &out);
bool process_path(std::string &out);

// The AppKit model's part of reset(), and its class definitions.
void reset_appkit();
void define_appkit();

} // namespace appkit

// The Objective-C runtime's basic types, as on macOS (x86-64 and arm64).
// Only what quenbrix uses; the objects themselves stay opaque.
#ifndef QUENBRIX_SDK_OBJC_OBJC_H
#define QUENBRIX_SDK_OBJC_OBJC_H

typedef struct objc_class *Class;
typedef struct objc_object *id;
typedef struct objc_selector *SEL;
typedef void (*IMP)(void);

// BOOL is a signed char on x86-64 macOS and a C bool on arm64.
#if defined(__x86_64__)
typedef signed char BOOL;
#else
typedef bool BOOL;
#endif

#define YES ((BOOL)1)
#define NO ((BOOL)0)

#endif

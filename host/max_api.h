// The part of the host's object API that quenbrix calls, declared by us.
//
// Binary layout and calling conventions follow the host on its 64-bit
// targets (Windows x64, macOS x86-64 and arm64): natural alignment, C
// linkage, and plain `long` wherever the host says `long` (4 bytes on
// Windows, 8 on macOS). The stand-in host in testbed/maxhost/ implements exactly
// this list.
#ifndef QUENBRIX_MAX_API_H
#define QUENBRIX_MAX_API_H

#include <stddef.h>
#include <stdint.h>

// QUENBRIX_MAX_API_NO_LINKAGE leaves out the C linkage, so that a check can
// read these declarations inside a namespace of its own beside the SDK's.
#if defined(__cplusplus) && !defined(QUENBRIX_MAX_API_NO_LINKAGE)
extern "C" {
#endif

typedef intptr_t t_atom_long;
typedef intptr_t t_max_err;
typedef uintptr_t t_ptr_size;
typedef uint32_t t_fourcc;
typedef void *(*method)(void *);
typedef void *t_systhread;

struct object;

typedef struct symbol {
    char *s_name;
    struct object *s_thing;
} t_symbol;

// Every instance record starts with this header.
typedef struct object {
    void *o_messlist;
    t_atom_long o_magic;
    void *o_inlet;
    void *o_outlet;
} t_object;

union word {
    t_atom_long w_long;
    double w_float;
    t_symbol *w_sym;
    t_object *w_obj;
};

typedef struct atom {
    short a_type;
    union word a_w;
} t_atom;

typedef struct maxclass t_class;
typedef struct hashtab t_hashtab;
typedef struct string t_string;
typedef void t_clock;
typedef void t_outlet;

enum {
    A_NOTHING = 0,
    A_LONG = 1,
    A_FLOAT = 2,
    A_SYM = 3,
    A_OBJ = 4,
    A_GIMME = 8,
    A_CANT = 9,
};

enum { ASSIST_INLET = 1, ASSIST_OUTLET = 2 };
enum { PATH_STYLE_NATIVE = 1, PATH_TYPE_BOOT = 3 };
enum { MAX_PATH_CHARS = 2048 };

// Classes
t_class *class_new(const char *name, method mnew, method mfree, long size,
                   method mmenu, short type, ...);
t_max_err class_addmethod(t_class *c, method m, const char *name, ...);
t_max_err class_register(t_symbol *name_space, t_class *c);
void *class_extra_lookup(t_class *c, t_symbol *key);
t_max_err hashtab_lookup(t_hashtab *table, t_symbol *key, t_object **value);
t_max_err object_addattr_parse(t_object *x, const char *attrname,
                               t_symbol *type, long flags, const char *text);

// Objects and outlets
void *object_alloc(t_class *c);
void freeobject(t_object *x);
void *outlet_new(void *x, const char *type);
void *outlet_anything(void *outlet, t_symbol *s, short argc, t_atom *argv);

// Symbols and atoms
t_symbol *gensym(const char *text);
long atom_gettype(const t_atom *a);
t_symbol *atom_getsym(const t_atom *a);

// Main thread and clocks
void *defer_low(void *x, method fn, t_symbol *s, short argc, t_atom *argv);
void *clock_new(void *x, method fn);
void clock_delay(void *clock, long ms);

// Threads
long systhread_create(method entry, void *arg, long stacksize, long priority,
                      long flags, t_systhread *thread);
long systhread_detach(t_systhread thread);
void systhread_sleep(long ms);
void systhread_exit(long status);

// Console
void object_post(t_object *x, const char *fmt, ...);
void object_warn(t_object *x, const char *fmt, ...);
void object_error(t_object *x, const char *fmt, ...);

// Memory, text and strings
char *sysmem_newptrclear(t_ptr_size size);
void sysmem_freeptr(void *ptr);
char *charset_unicodetoutf8(unsigned short *text, long units, long *outlen);
unsigned short *charset_utf8tounicode(char *text, long *outlen);
t_string *string_new(const char *text);
void string_append(t_string *x, const char *text);
const char *string_getptr(t_string *x);

// Files
t_max_err path_absolutepath(t_symbol **result, const t_symbol *name,
                            const t_fourcc *types, short ntypes);
short path_nameconform(const char *src, char *dst, long style, long type);

#if defined(__cplusplus) && !defined(QUENBRIX_MAX_API_NO_LINKAGE)
}
#endif

#include "max_api_layout.h"

#endif

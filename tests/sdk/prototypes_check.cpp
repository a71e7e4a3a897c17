// Compiled, never run: every declaration of host/max_api.h must say what the
// host maker's SDK says, for the target this is compiled for (Windows x64,
// macOS x86-64, macOS arm64). Any difference in a prototype, a typedef, a
// record's size, alignment or field offset, or a constant fails the compile.
//
// The SDK's headers come first, at global scope; ours follow inside
// namespace ours, without C linkage, so that both sets of names stand side by
// side. Each of our types is then mapped onto the SDK's type of the same name
// and every function type compared whole.
#include "ext.h"
#include "ext_obex.h"

namespace ours {
#define QUENBRIX_MAX_API_NO_LINKAGE
#include "max_api.h"
} // namespace ours

namespace {

template <class A, class B> struct same { static const bool value = false; };
template <class A> struct same<A, A> { static const bool value = true; };

// sdk<T>::type: T with each of our host types replaced by the SDK's.
template <class T> struct sdk { typedef T type; };
template <class T> struct sdk<T *> { typedef typename sdk<T>::type *type; };
template <class T> struct sdk<const T> { typedef const typename sdk<T>::type type; };
template <class R, class... A> struct sdk<R(A...)> {
    typedef typename sdk<R>::type type(typename sdk<A>::type...);
};
template <class R, class... A> struct sdk<R(A..., ...)> {
    typedef typename sdk<R>::type type(typename sdk<A>::type..., ...);
};
template <> struct sdk<ours::t_object> { typedef ::t_object type; };
template <> struct sdk<ours::t_symbol> { typedef ::t_symbol type; };
template <> struct sdk<ours::t_atom> { typedef ::t_atom type; };
template <> struct sdk<ours::word> { typedef ::word type; };
template <> struct sdk<ours::t_class> { typedef ::t_class type; };
template <> struct sdk<ours::t_hashtab> { typedef ::t_hashtab type; };
template <> struct sdk<ours::t_string> { typedef ::t_string type; };

// The mapping itself must tell our types from the SDK's, or every
// comparison below would pass by construction.
static_assert(!same<ours::t_symbol, ::t_symbol>::value, "two sets of types");
static_assert(same<sdk<const ours::t_atom *>::type, const ::t_atom *>::value, "mapping");

} // namespace

#define SAME_PROTOTYPE(name)                                                               \
    static_assert(same<sdk<decltype(ours::name)>::type, decltype(::name)>::value,        \
                  #name " differs from the SDK's")

SAME_PROTOTYPE(class_new);
SAME_PROTOTYPE(class_addmethod);
SAME_PROTOTYPE(class_register);
SAME_PROTOTYPE(class_extra_lookup);
SAME_PROTOTYPE(hashtab_lookup);
SAME_PROTOTYPE(object_addattr_parse);
SAME_PROTOTYPE(object_alloc);
SAME_PROTOTYPE(outlet_new);
SAME_PROTOTYPE(outlet_anything);
SAME_PROTOTYPE(gensym);
SAME_PROTOTYPE(atom_gettype);
SAME_PROTOTYPE(atom_getsym);
SAME_PROTOTYPE(defer_low);
SAME_PROTOTYPE(clock_new);
SAME_PROTOTYPE(clock_delay);
SAME_PROTOTYPE(systhread_create);
SAME_PROTOTYPE(systhread_detach);
SAME_PROTOTYPE(systhread_sleep);
SAME_PROTOTYPE(systhread_exit);
SAME_PROTOTYPE(object_post);
SAME_PROTOTYPE(object_warn);
SAME_PROTOTYPE(object_error);
SAME_PROTOTYPE(sysmem_newptrclear);
SAME_PROTOTYPE(sysmem_freeptr);
SAME_PROTOTYPE(charset_unicodetoutf8);
SAME_PROTOTYPE(charset_utf8tounicode);
SAME_PROTOTYPE(string_new);
SAME_PROTOTYPE(string_append);
SAME_PROTOTYPE(string_getptr);
SAME_PROTOTYPE(path_absolutepath);
SAME_PROTOTYPE(path_nameconform);

// The one known difference: the SDK takes any pointer in freeobject, ours
// the object header. Both are pinned, so a change on either side shows.
static_assert(same<decltype(ours::freeobject), void(ours::t_object *)>::value, "ours");
static_assert(same<decltype(::freeobject), void(void *)>::value, "the SDK's");

// Typedefs: the very same types.
#define SAME_TYPE(name) \
    static_assert(same<sdk<ours::name>::type, ::name>::value, #name " differs from the SDK's")
SAME_TYPE(t_atom_long);
SAME_TYPE(t_max_err);
SAME_TYPE(t_ptr_size);
SAME_TYPE(t_fourcc);
SAME_TYPE(method);
SAME_TYPE(t_systhread);
SAME_TYPE(t_clock);
SAME_TYPE(t_outlet);

// Records: size, alignment and where each field lies, with its type.
#define SAME_RECORD(name)                                                                  \
    static_assert(sizeof(ours::name) == sizeof(::name) &&                                  \
                      alignof(ours::name) == alignof(::name),                              \
                  #name " size or alignment differs from the SDK's")
#define SAME_FIELD(record, field)                                                          \
    static_assert(offsetof(ours::record, field) == offsetof(::record, field) &&            \
                      same<sdk<decltype(ours::record::field)>::type,                       \
                           decltype(::record::field)>::value,                              \
                  #record "." #field " differs from the SDK's")
// A field the plug-in never reads: only where it lies and its size.
#define SAME_SLOT(record, field)                                                           \
    static_assert(offsetof(ours::record, field) == offsetof(::record, field) &&            \
                      sizeof(ours::record::field) == sizeof(::record::field),              \
                  #record "." #field " differs from the SDK's")
SAME_RECORD(t_object);
SAME_SLOT(t_object, o_messlist); // the SDK's private records behind these three
SAME_FIELD(t_object, o_magic);
SAME_SLOT(t_object, o_inlet);
SAME_SLOT(t_object, o_outlet);
SAME_RECORD(t_symbol);
SAME_FIELD(t_symbol, s_name);
SAME_FIELD(t_symbol, s_thing);
SAME_RECORD(t_atom);
SAME_FIELD(t_atom, a_type);
SAME_SLOT(t_atom, a_w); // union word, compared on its own below
SAME_RECORD(word);
SAME_FIELD(word, w_long);
SAME_FIELD(word, w_float);
SAME_FIELD(word, w_sym);
SAME_FIELD(word, w_obj);

// Constants.
#define SAME_CONSTANT(name) \
    static_assert((long long)ours::name == (long long)::name, #name " differs from the SDK's")
SAME_CONSTANT(A_NOTHING);
SAME_CONSTANT(A_LONG);
SAME_CONSTANT(A_FLOAT);
SAME_CONSTANT(A_SYM);
SAME_CONSTANT(A_OBJ);
SAME_CONSTANT(A_GIMME);
SAME_CONSTANT(A_CANT);
SAME_CONSTANT(ASSIST_INLET);
SAME_CONSTANT(ASSIST_OUTLET);
SAME_CONSTANT(PATH_STYLE_NATIVE);
SAME_CONSTANT(PATH_TYPE_BOOT);
SAME_CONSTANT(MAX_PATH_CHARS);

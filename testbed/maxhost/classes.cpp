// Stand-in host: symbols, atoms, classes and their method tables.
#include "host_state.h"

using namespace maxhost_internal;

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
    e->sym = gensym(name);
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

} // extern "C"

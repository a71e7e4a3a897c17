// Stand-in host: the Max console (object_post, object_warn, object_error).
#include "host_state.h"

using namespace maxhost_internal;

namespace maxhost_internal {

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
    std::unique_lock<std::mutex> lock(h.mu);
    // The host reads the object to tag the line: a post for an object that
    // was freed reads freed memory, and stops the program here.
    if (x && !is_live_instance(h, x))
        (void)*(volatile t_atom_long *)&x->o_magic;
    h.console.push_back({kind, x, text});
    if (h.echo) {
        static const char *kinds[] = {"", "warning: ", "error: "};
        auto it = h.instances.find(x);
        std::string tag = it != h.instances.end() ? it->second.cls->name + ": " : "";
        std::printf("console  %s%s%s\n", tag.c_str(), kinds[kind], text.c_str());
        std::fflush(stdout);
    }
    maxhost_post_hook hook = h.post_hook;
    void *hook_arg = h.post_hook_arg;
    lock.unlock();
    if (hook)
        hook(hook_arg, x, text.c_str());
}

} // namespace maxhost_internal

extern "C" {

void object_post(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(MAXHOST_POST, x, fmt, ap);
    va_end(ap);
}

void object_warn(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(MAXHOST_WARN, x, fmt, ap);
    va_end(ap);
}

void object_error(t_object *x, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    console_line(MAXHOST_ERROR, x, fmt, ap);
    va_end(ap);
}

} // extern "C"

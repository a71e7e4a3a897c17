// C++ conveniences over the stand-in host's controls, for tests and tools.
#pragma once

#include "maxhost.h"

#include <string>
#include <vector>

namespace maxhost {

struct Line {
    int kind;
    void *object;
    std::string text;
    bool operator==(const Line &o) const
    {
        return kind == o.kind && object == o.object && text == o.text;
    }
};

struct Message {
    void *object;
    int outlet; // 0 is the leftmost
    std::string selector;
    double time;
    bool on_main_thread;
};

inline std::vector<Line> console()
{
    std::vector<Line> lines;
    for (int i = 0; i < maxhost_console_count(); ++i)
        lines.push_back({maxhost_console_kind(i), maxhost_console_object(i),
                         maxhost_console_text(i)});
    return lines;
}

inline std::vector<Message> sent()
{
    std::vector<Message> out;
    for (int i = 0; i < maxhost_sent_count(); ++i)
        out.push_back({maxhost_sent_object(i), maxhost_sent_outlet(i),
                       maxhost_sent_selector(i), maxhost_sent_time(i),
                       maxhost_sent_on_main_thread(i) != 0});
    return out;
}

inline t_atom sym(const char *text)
{
    t_atom a{};
    a.a_type = A_SYM;
    a.a_w.w_sym = gensym(text);
    return a;
}

inline t_atom num(long value)
{
    t_atom a{};
    a.a_type = A_LONG;
    a.a_w.w_long = value;
    return a;
}

inline t_atom real(double value)
{
    t_atom a{};
    a.a_type = A_FLOAT;
    a.a_w.w_float = value;
    return a;
}

inline int send(void *x, const char *message, std::vector<t_atom> args = {})
{
    return maxhost_send(x, message, (short)args.size(),
                        args.empty() ? nullptr : args.data());
}

inline std::string assist(void *x, long code, long index)
{
    char text[500];
    maxhost_assist(x, code, index, text);
    return text;
}

inline void reset_records()
{
    maxhost_console_clear();
    maxhost_sent_clear();
}

} // namespace maxhost

// C++ conveniences over the stand-in host's controls, for tests and tools.
#pragma once

#include "simhost.h"

#include <string>
#include <vector>

namespace simhost {

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
    for (int i = 0; i < simhost_console_count(); ++i)
        lines.push_back({simhost_console_kind(i), simhost_console_object(i),
                         simhost_console_text(i)});
    return lines;
}

inline std::vector<Message> sent()
{
    std::vector<Message> out;
    for (int i = 0; i < simhost_sent_count(); ++i)
        out.push_back({simhost_sent_object(i), simhost_sent_outlet(i),
                       simhost_sent_selector(i), simhost_sent_time(i),
                       simhost_sent_on_main_thread(i) != 0});
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
    return simhost_send(x, message, (short)args.size(),
                        args.empty() ? nullptr : args.data());
}

inline std::string assist(void *x, long code, long index)
{
    char text[500];
    simhost_assist(x, code, index, text);
    return text;
}

inline void reset_records()
{
    simhost_console_clear();
    simhost_sent_clear();
}

} // namespace simhost

#include "package_support.h"

#include "liveapp.h"
#include "maxhost.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

t_class *quenbrix_class()
{
    static t_class *c = [] {
        maxhost_load(ext_main);
        return maxhost_find_class("quenbrix");
    }();
    return c;
}

std::set<std::string> documented_messages()
{
    std::set<std::string> out;
    t_class *c = quenbrix_class();
    for (int i = 0; c && i < maxhost_method_count(c); ++i) {
        const char *name = maxhost_method_name(c, i);
        const char *hidden = maxhost_method_attr(c, name, "undocumented");
        if (maxhost_method_argtype(c, i) == A_CANT)
            continue;
        if (hidden && std::string(hidden) == "1")
            continue;
        out.insert(name);
    }
    return out;
}

int message_argtype(const std::string &message)
{
    t_class *c = quenbrix_class();
    for (int i = 0; c && i < maxhost_method_count(c); ++i)
        if (message == maxhost_method_name(c, i))
            return maxhost_method_argtype(c, i);
    return -1;
}

int quenbrix_outlet_count()
{
    quenbrix_class();
    void *x = maxhost_new_object("quenbrix", 0, nullptr);
    if (!x)
        return -1;
    int n = maxhost_outlet_count(x);
    maxhost_free_object(x);
    return n;
}

bool file_exists(const std::string &path)
{
    return std::filesystem::exists(path);
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string run_command(const std::string &command, int *status)
{
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    *status = pclose(p);
    return out;
}

std::set<std::string> files_below(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::set<std::string> out;
    if (!fs::is_directory(folder))
        return out;
    for (auto &entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            out.insert(fs::relative(entry.path(), folder).generic_string());
    return out;
}

std::string quoted(const std::string &text)
{
    std::string out = "'";
    for (char ch : text)
        out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

// What the SDK checks share: running a tool and reading its output.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

// The output (standard output and errors) of a shell command.
inline std::string check_run(const std::string &command)
{
    std::string out;
    if (FILE *p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

inline std::string check_quote(const std::string &path)
{
    return "'" + path + "'";
}

inline std::string check_read(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

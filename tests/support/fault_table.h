// The outcome table of a fault sweep: one row per call that the sweep made
// fail, written as Markdown between two markers in docs/testing.md and
// checked there, so that the page says what the object does today. The
// README's reliability line carries the count of trials.
//
// With QUENBRIX_UPDATE_DOCS set in the environment, the sweep writes its
// table and count into the two files instead of checking them.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct FaultRow {
    std::string request; // the message, or creation or deletion
    std::string call;    // the failing call
    std::string uses;    // which of its uses failed, e.g. "1st of 2"
    std::string outcome; // what the object did
};

inline std::string fault_ordinal(long n)
{
    const char *suffix = (n % 100 >= 11 && n % 100 <= 13) ? "th"
                         : n % 10 == 1                    ? "st"
                         : n % 10 == 2                    ? "nd"
                         : n % 10 == 3                    ? "rd"
                                                          : "th";
    return std::to_string(n) + suffix;
}

// "1st of 2", "1st to 3rd of 3", "each of 1": uses first..last of count.
inline std::string fault_uses(long first, long last, long count)
{
    if (first == 1 && last == count)
        return count == 1 ? "its one use" : "each of its " + std::to_string(count) + " uses";
    std::string which = fault_ordinal(first);
    if (last != first)
        which += " to " + fault_ordinal(last);
    return which + " of " + std::to_string(count);
}

inline std::string fault_table_markdown(const std::vector<FaultRow> &rows)
{
    std::ostringstream out;
    out << "| Request | Failing call | Use | What the object does |\n"
        << "|---|---|---|---|\n";
    for (const FaultRow &r : rows)
        out << "| " << r.request << " | " << r.call << " | " << r.uses << " | " << r.outcome
            << " |\n";
    return out.str();
}

inline bool fault_read(const std::string &path, std::string &text)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

inline bool fault_updating()
{
    const char *update = std::getenv("QUENBRIX_UPDATE_DOCS");
    return update && *update;
}

// The text between "<!-- begin NAME -->\n" and "<!-- end NAME -->" of the
// file at `path` must be `body`. Returns an empty string, or what differs.
inline std::string fault_section_sync(const std::string &path, const std::string &name,
                                      const std::string &body)
{
    std::string text;
    if (!fault_read(path, text))
        return "can't read " + path;
    std::string begin = "<!-- begin " + name + " -->\n", end = "<!-- end " + name + " -->";
    size_t b = text.find(begin), e = text.find(end);
    if (b == std::string::npos || e == std::string::npos || e < b)
        return path + " has no section " + name;
    b += begin.size();
    if (text.compare(b, e - b, body) == 0)
        return std::string();
    if (fault_updating()) {
        text.replace(b, e - b, body);
        std::ofstream(path.c_str(), std::ios::binary) << text;
        return std::string();
    }
    return path + ": the section " + name + " is out of date; the sweep found:\n" + body +
           "(run the sweep with QUENBRIX_UPDATE_DOCS=1 to write it there)";
}

// The number right before `phrase` in the file at `path` must be `count`.
inline std::string fault_count_sync(const std::string &path, const std::string &phrase,
                                    long count)
{
    std::string text;
    if (!fault_read(path, text))
        return "can't read " + path;
    size_t at = text.find(phrase);
    if (at == std::string::npos)
        return path + " does not say \"" + phrase + "\"";
    size_t start = at;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
        --start;
    std::string wanted = std::to_string(count);
    if (text.compare(start, at - start, wanted) == 0)
        return std::string();
    if (fault_updating()) {
        text.replace(start, at - start, wanted);
        std::ofstream(path.c_str(), std::ios::binary) << text;
        return std::string();
    }
    return path + ": \"" + text.substr(start, at - start) + phrase + "\" should say " + wanted;
}

// What the macOS and Windows fault sweeps share: the record of what one run
// of a request did, the judgement of each trial, and the outcome table: one
// row per call that the sweep made fail, written as Markdown between two
// markers in docs/testing.md and checked there, so that the page says what
// the object does today. The README's reliability line carries the count of
// trials.
//
// With QUENBRIX_UPDATE_DOCS set in the environment, the sweep writes its
// table and count into the two files instead of checking them.
#pragma once

#include "liveapp_texts.h"
#include "maxhost.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// What one run of a request did, as a patch and the user would see it.
struct FaultOutcome {
    bool created = true;
    std::vector<std::string> console; // the object's lines, "error: ..." and so on
    std::vector<std::string> sent;    // "left: name", "right: ok"
    std::vector<std::string> world;   // what the platform was asked to do, and the screen
    bool operator==(const FaultOutcome &o) const
    {
        return created == o.created && console == o.console && sent == o.sent &&
               world == o.world;
    }
    std::string errors() const
    {
        std::string out;
        for (const std::string &l : console)
            if (l.rfind("error: ", 0) == 0)
                out += (out.empty() ? "" : "; ") + ("\"" + l.substr(7) + "\"");
        return out;
    }
    bool sent_right(const char *what) const
    {
        for (const std::string &s : sent)
            if (s == std::string("right: ") + what)
                return true;
        return false;
    }
};

inline std::string describe(const FaultOutcome &o)
{
    std::string out = "created " + std::to_string(o.created) + "\n";
    for (const std::string &l : o.console)
        out += "  console " + l + "\n";
    for (const std::string &s : o.sent)
        out += "  sent " + s + "\n";
    for (const std::string &w : o.world)
        out += "  " + w + "\n";
    return out;
}

inline void PrintTo(const FaultOutcome &o, std::ostream *out)
{
    *out << "\n" << describe(o);
}

// What object `x` posted and sent since the host's records were last reset;
// the platform adds what it saw of the world.
inline FaultOutcome fault_outcome(void *x, bool created)
{
    FaultOutcome o;
    o.created = created;
    static const char *kinds[] = {"note: ", "warning: ", "error: "};
    for (const maxhost::Line &l : maxhost::console())
        if (l.object == x)
            o.console.push_back(kinds[l.kind] + l.text);
    for (const maxhost::Message &m : maxhost::sent())
        if (m.object == x)
            o.sent.push_back((m.outlet == 0 ? "left: " : "right: ") + m.selector);
    return o;
}

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

// The trials of a sweep by what the object did, and the rows of its table.
struct FaultTally {
    long trials = 0, reported = 0, harmless = 0, not_created = 0;
    std::vector<FaultRow> rows;

    // Counts a trial of `request` and names what it did in `what`: the
    // object was not made, and sent nothing; or the failure was reported
    // (and a failed addfile sent "error"). Returns false when neither: the
    // trial counts as harmless, and the sweep checks that and names it.
    bool judge(const FaultOutcome &o, const std::string &request, std::string &what)
    {
        ++trials;
        if (!o.created) {
            ++not_created;
            what = "not created; nothing left behind";
            EXPECT_TRUE(o.sent.empty());
            return true;
        }
        if (!o.errors().empty()) {
            ++reported;
            what = "error " + o.errors();
            if (o.sent_right(LIVEAPP_RESULT_ERROR))
                what += ", `error` from the right outlet";
            if (request == "addfile")
                EXPECT_TRUE(o.sent_right(LIVEAPP_RESULT_ERROR))
                    << "addfile failed without \"error\"";
            return true;
        }
        ++harmless;
        return false;
    }

    // What use `nth` of `count` of `call` did in `request`: consecutive uses
    // with the same outcome make one row.
    void add(const std::string &request, const std::string &call, long nth, long count,
             const std::string &what)
    {
        if (nth == 1)
            first_ = 1;
        else if (what != last_) {
            rows.push_back({request, "`" + call + "`", fault_uses(first_, nth - 1, count), last_});
            first_ = nth;
        }
        last_ = what;
        if (nth == count)
            rows.push_back({request, "`" + call + "`", fault_uses(first_, count, count), what});
        any_ = true;
    }

    // After the last call of `request`: a row for it if it made none that
    // can fail.
    void end_request(const std::string &request)
    {
        if (!any_)
            rows.push_back({request, "none", "", "makes no call that can fail"});
        any_ = false;
    }

    // The figures line of the test's output, under the host model in use.
    void print_figures(const char *model) const
    {
        std::printf("[ figures  ] host model %s: %ld trials, %ld reported, %ld harmless, "
                    "%ld not created\n",
                    model, trials, reported, harmless, not_created);
    }

    // The table and the count of trials under it, as docs/testing.md has them.
    std::string table() const
    {
        return fault_table_markdown(rows) + "\n" + std::to_string(trials) + " trials: " +
               std::to_string(reported) + " reported, " + std::to_string(harmless) +
               " harmless, " + std::to_string(not_created) + " not created.\n";
    }

private:
    long first_ = 1;
    std::string last_;
    bool any_ = false;
};

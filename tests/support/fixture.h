// Loads the plug-in into the stand-in host once per test program and gives
// each test fresh console and outlet records.
#pragma once

#include "liveapp.h"
#include "maxhost.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What the console held right after the plug-in was loaded.
const std::vector<maxhost::Line> &load_console();

class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        load_console();
        maxhost::reset_records();
        allocations_before_ = maxhost_live_allocations();
    }

    void TearDown() override
    {
        for (void *x : objects_)
            maxhost_free_object(x);
        objects_.clear();
        maxhost_run_queue();
    }

    // A new quenbrix object, freed after the test.
    t_liveapp *make(std::vector<t_atom> args = {})
    {
        void *x = maxhost_new_object("quenbrix", (short)args.size(),
                                     args.empty() ? nullptr : args.data());
        if (x)
            objects_.push_back(x);
        return (t_liveapp *)x;
    }

    void destroy(t_liveapp *x)
    {
        objects_.erase(std::remove(objects_.begin(), objects_.end(), (void *)x),
                       objects_.end());
        maxhost_free_object(x);
    }

    std::vector<maxhost::Line> lines_of(void *x) const
    {
        std::vector<maxhost::Line> out;
        for (auto &l : maxhost::console())
            if (l.object == x)
                out.push_back(l);
        return out;
    }

    long allocations_before_ = 0;
    std::vector<void *> objects_;
};

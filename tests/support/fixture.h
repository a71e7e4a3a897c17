// Loads the plug-in into the stand-in host once per test program and gives
// each test fresh console and outlet records.
#pragma once

#include "liveapp.h"
#include "simhost.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What the console held right after the plug-in was loaded.
const std::vector<simhost::Line> &load_console();

class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        load_console();
        simhost::reset_records();
        allocations_before_ = simhost_live_allocations();
    }

    void TearDown() override
    {
        for (void *x : objects_)
            simhost_free_object(x);
        objects_.clear();
        simhost_run_queue();
    }

    // A new quenbrix object, freed after the test.
    t_liveapp *make(std::vector<t_atom> args = {})
    {
        void *x = simhost_new_object("quenbrix", (short)args.size(),
                                     args.empty() ? nullptr : args.data());
        if (x)
            objects_.push_back(x);
        return (t_liveapp *)x;
    }

    void destroy(t_liveapp *x)
    {
        objects_.erase(std::remove(objects_.begin(), objects_.end(), (void *)x),
                       objects_.end());
        simhost_free_object(x);
    }

    std::vector<simhost::Line> lines_of(void *x) const
    {
        std::vector<simhost::Line> out;
        for (auto &l : simhost::console())
            if (l.object == x)
                out.push_back(l);
        return out;
    }

    long allocations_before_ = 0;
    std::vector<void *> objects_;
};

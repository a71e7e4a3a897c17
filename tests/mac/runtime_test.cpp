// The stand-in runtime itself: its objc_msgSend (the checks it shares with
// GNUstep's in msgsend_checks.h), classes, reference counts and faults.
#include "appkit.h"
#include "msgsend_checks.h"

#include <gtest/gtest.h>

namespace {

Class probe()
{
    static Class c = [] {
        Class cls = appkit::define_class("Probe", "NSObject");
        for (const ProbeMethod &m : probe_methods)
            appkit::add_method(cls, m.selector, appkit::imp(m.imp));
        return cls;
    }();
    return c;
}

} // namespace

TEST(StandInRuntime, MessagesArriveWithEveryArgumentRegisterAndTheStackIntact)
{
    id p = appkit::make_object(probe());
    expect_every_argument_register_and_the_stack_intact(p);
    send<void>(p, "release");
}

TEST(StandInRuntime, ANilReceiverAnswersZeroWhateverTheType)
{
    expect_a_nil_receiver_to_answer_zero_whatever_the_type();
}

TEST(StandInRuntime, ClassesAndSelectorsAreInternedByName)
{
    EXPECT_EQ(sel_registerName("windows"), sel_registerName(std::string("windows").c_str()));
    EXPECT_NE(sel_registerName("windows"), sel_registerName("window"));
    EXPECT_EQ(objc_getClass("NSWindow"), objc_getClass("NSWindow"));
    EXPECT_NE(objc_getClass("NSWindow"), nullptr);
    EXPECT_EQ(objc_getClass("NSNoSuchThing"), nullptr);
}

TEST(StandInRuntime, ReferenceCountsTellLiveFromDeallocated)
{
    appkit::reset();
    id w = appkit::add_window("W", true);
    EXPECT_EQ(appkit::retain_count(w), 1);
    EXPECT_EQ(send<id>(w, "retain"), w);
    appkit::close_window(w);
    EXPECT_FALSE(appkit::deallocated(w));
    send<void>(w, "release");
    EXPECT_TRUE(appkit::deallocated(w));
    EXPECT_EQ(appkit::live_objects(), 0);
}

TEST(StandInAppKit, OnlyAVisibleNonPanelWithATitleBarOrResizeControlCanBecomeMain)
{
    appkit::reset();
    struct Case {
        const char *what;
        bool document; // an NSWindow; else an NSPanel
        unsigned long style;
        void (*change)(id);
        bool can;
    };
    const unsigned long TITLED = appkit::STYLE_TITLED, RESIZABLE = appkit::STYLE_RESIZABLE;
    const Case cases[] = {
        {"titled and resizable", true, TITLED | RESIZABLE, nullptr, true},
        {"title bar only", true, TITLED, nullptr, true},
        {"resize control only", true, RESIZABLE, nullptr, true},
        {"borderless", true, appkit::STYLE_BORDERLESS, nullptr, false},
        {"panel", false, TITLED | RESIZABLE, nullptr, false},
        {"hidden", true, TITLED | RESIZABLE, appkit::order_out, false},
        {"minimised", true, TITLED | RESIZABLE, appkit::miniaturize, false},
    };
    for (const Case &c : cases) {
        id w = appkit::add_window(c.what, c.document);
        appkit::set_style(w, c.style);
        if (c.change)
            c.change(w);
        EXPECT_EQ(send<BOOL>(w, "canBecomeMainWindow"), c.can ? YES : NO) << c.what;
        EXPECT_EQ(send<BOOL>(w, "isKindOfClass:", (id)objc_getClass("NSPanel")),
                  c.document ? NO : YES) << c.what;
    }
    appkit::reset();
}

TEST(StandInRuntimeDeathTest, MessagingADeallocatedObjectStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    appkit::reset();
    id w = appkit::add_window("W", true);
    appkit::close_window(w);
    EXPECT_DEATH(send<id>(w, "title"), "deallocated");
    EXPECT_DEATH(send<id>((id)objc_getClass("NSString"), "string"), "unrecognized selector");
}

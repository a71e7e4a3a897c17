// The stand-in runtime itself: if objc_msgSend lost an argument register or
// a result, every test of the macOS file above would prove nothing.
#include "appkit.h"

#include <gtest/gtest.h>

#include <cstdarg>

namespace {

template <typename R, typename... A> R send(id receiver, const char *selector, A... args)
{
    return ((R(*)(id, SEL, A...))(void (*)(void))objc_msgSend)(
        receiver, sel_registerName(selector), args...);
}

// Six integer registers, eight vector registers, and two of each more on
// the stack.
double mixed(id, SEL, long a, long b, long c, long d, double f0, double f1, double f2,
             double f3, double f4, double f5, double f6, double f7, double f8, long e,
             double f9, long g)
{
    return (double)(a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * g) + f0 + 2 * f1 + 3 * f2 +
           4 * f3 + 5 * f4 + 6 * f5 + 7 * f6 + 8 * f7 + 9 * f8 + 10 * f9;
}

long sum_variadic(id, SEL, int count, ...)
{
    va_list ap;
    va_start(ap, count);
    long total = 0;
    for (int i = 0; i < count; ++i)
        total += (long)va_arg(ap, double) * (i + 1);
    va_end(ap);
    return total;
}

struct Pair {
    long first, second;
};

Pair pair_of(id, SEL, long a, long b)
{
    return {a, b};
}

BOOL is_negative(id, SEL, long v)
{
    return v < 0 ? YES : NO;
}

Class probe()
{
    static Class c = [] {
        Class cls = appkit::define_class("Probe", "NSObject");
        appkit::add_method(cls, "mixed", appkit::imp(mixed));
        appkit::add_method(cls, "sum:", appkit::imp(sum_variadic));
        appkit::add_method(cls, "pair:with:", appkit::imp(pair_of));
        appkit::add_method(cls, "isNegative:", appkit::imp(is_negative));
        return cls;
    }();
    return c;
}

} // namespace

TEST(StandInRuntime, MessagesArriveWithEveryArgumentRegisterAndTheStackIntact)
{
    id p = appkit::make_object(probe());
    double got = send<double>(p, "mixed", 1L, 2L, 3L, 4L, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5,
                              6.5, 7.5, 8.5, 100L, 9.5, 1000L);
    double want = mixed(nullptr, nullptr, 1, 2, 3, 4, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5,
                        7.5, 8.5, 100, 9.5, 1000);
    EXPECT_EQ(got, want);
    // Variadic: %al carries the number of vector registers used.
    EXPECT_EQ(((long (*)(id, SEL, int, ...))(void (*)(void))objc_msgSend)(
                  p, sel_registerName("sum:"), 3, 1.0, 2.0, 3.0),
              14);
    Pair pair = send<Pair>(p, "pair:with:", 7L, -9L);
    EXPECT_EQ(pair.first, 7);
    EXPECT_EQ(pair.second, -9);
    EXPECT_EQ(send<BOOL>(p, "isNegative:", -1L), YES);
    EXPECT_EQ(send<BOOL>(p, "isNegative:", 1L), NO);
    send<void>(p, "release");
}

TEST(StandInRuntime, ANilReceiverAnswersZeroWhateverTheType)
{
    EXPECT_EQ(send<id>(nullptr, "anything"), nullptr);
    EXPECT_EQ(send<long>(nullptr, "count"), 0);
    EXPECT_EQ(send<double>(nullptr, "doubleValue"), 0.0);
    Pair pair = send<Pair>(nullptr, "pair:with:", 1L, 2L);
    EXPECT_EQ(pair.first, 0);
    EXPECT_EQ(pair.second, 0);
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

// The checks on an objc_msgSend, run against each one the tests stand on:
// the stand-in runtime's (testbed/appkit/) and the one over gcc's runtime
// for GNUstep (testbed/gnustep/). If it lost an argument register or a
// result, every test of the macOS file on it would prove nothing.
//
// Include it after the runtime's declarations of id, SEL, BOOL,
// sel_registerName and objc_msgSend. Each test program makes a probe class
// with `probe_methods` in its own runtime's way.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>

template <typename R, typename... A> R send(id receiver, const char *selector, A... args)
{
    return ((R(*)(id, SEL, A...))(void (*)(void))objc_msgSend)(
        receiver, sel_registerName(selector), args...);
}

// Six integer registers, eight vector registers, and two of each more on
// the stack.
inline double mixed(id, SEL, long a, long b, long c, long d, double f0, double f1, double f2,
                    double f3, double f4, double f5, double f6, double f7, double f8, long e,
                    double f9, long g)
{
    return (double)(a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * g) + f0 + 2 * f1 + 3 * f2 +
           4 * f3 + 5 * f4 + 6 * f5 + 7 * f6 + 8 * f7 + 9 * f8 + 10 * f9;
}

inline long sum_variadic(id, SEL, int count, ...)
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

inline Pair pair_of(id, SEL, long a, long b)
{
    return {a, b};
}

inline BOOL is_negative(id, SEL, long v)
{
    return v < 0 ? YES : NO;
}

// The probe class's methods: selector, implementation, and the type
// encoding that gcc's runtime asks for.
struct ProbeMethod {
    const char *selector;
    void (*imp)(void);
    const char *types;
};

inline const ProbeMethod probe_methods[] = {
    {"mixed", (void (*)(void))mixed, "d@:"},
    {"sum:", (void (*)(void))sum_variadic, "q@:i"},
    {"pair:with:", (void (*)(void))pair_of, "{Pair=qq}@:qq"},
    {"isNegative:", (void (*)(void))is_negative, "C@:q"},
};

// `probe` is an instance of the probe class.
inline void expect_every_argument_register_and_the_stack_intact(id probe)
{
    // Against the sum worked out by hand, and against a direct call.
    EXPECT_DOUBLE_EQ(send<double>(probe, "mixed", 1L, 2L, 3L, 4L, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5,
                                  6.5, 7.5, 8.5, 5L, 9.5, 6L),
                     1 + 4 + 9 + 16 + 25 + 36 + 0.5 + 3 + 7.5 + 14 + 22.5 + 33 + 45.5 + 60 +
                         76.5 + 95);
    EXPECT_EQ(send<double>(probe, "mixed", 1L, 2L, 3L, 4L, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5,
                           7.5, 8.5, 100L, 9.5, 1000L),
              mixed(nullptr, nullptr, 1, 2, 3, 4, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5,
                    100, 9.5, 1000));
    // Variadic: %al carries the number of vector registers used.
    long (*variadic)(id, SEL, int, ...) =
        (long (*)(id, SEL, int, ...))(void (*)(void))objc_msgSend;
    EXPECT_EQ(variadic(probe, sel_registerName("sum:"), 3, 10.0, 20.0, 30.0), 140);
    EXPECT_EQ(variadic(probe, sel_registerName("sum:"), 3, 1.0, 2.0, 3.0), 14);
    for (long second : {9L, -9L}) {
        Pair pair = send<Pair>(probe, "pair:with:", 7L, second);
        EXPECT_EQ(pair.first, 7);
        EXPECT_EQ(pair.second, second);
    }
    EXPECT_EQ(send<BOOL>(probe, "isNegative:", -1L), YES);
    EXPECT_EQ(send<BOOL>(probe, "isNegative:", 1L), NO);
}

inline void expect_a_nil_receiver_to_answer_zero_whatever_the_type()
{
    EXPECT_EQ(send<id>(nullptr, "anything"), nullptr);
    EXPECT_EQ(send<long>(nullptr, "count"), 0);
    EXPECT_EQ(send<double>(nullptr, "doubleValue"), 0.0);
    Pair pair = send<Pair>(nullptr, "pair:with:", 1L, 2L);
    EXPECT_EQ(pair.first, 0);
    EXPECT_EQ(pair.second, 0);
}

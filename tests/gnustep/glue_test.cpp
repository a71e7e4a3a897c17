// What the GNUstep runs stand on: objc_msgSend over gcc's runtime, which
// must hand every argument register and the stack to the method untouched,
// and the Mach-O loader, which must bind the shipped slice whole or refuse
// it, naming the import it cannot bind.
#include "macho_loader.h"
#include "maxhost.h"

#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

extern "C" void objc_msgSend(void); // testbed/gnustep/objc_msgsend_x86_64.S

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

Pair pair(id, SEL, long a, long b)
{
    return {a, b};
}

id probe()
{
    static id object = [] {
        Class c = objc_allocateClassPair(Nil, "QuenbrixProbe", 0);
        class_addMethod(c, sel_registerName("mixed"), (IMP)mixed, "d@:");
        class_addMethod(c, sel_registerName("sum:"), (IMP)sum_variadic, "q@:i");
        class_addMethod(c, sel_registerName("pair:with:"), (IMP)pair, "{Pair=qq}@:qq");
        objc_registerClassPair(c);
        return class_createInstance(c, 0);
    }();
    return object;
}

TEST(GNUstepMsgSend, MessagesArriveWithEveryArgumentRegisterAndTheStackIntact)
{
    double r = send<double>(probe(), "mixed", 1L, 2L, 3L, 4L, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5,
                            6.5, 7.5, 8.5, 5L, 9.5, 6L);
    EXPECT_DOUBLE_EQ(r, 1 + 4 + 9 + 16 + 25 + 36 + 0.5 + 3 + 7.5 + 14 + 22.5 + 33 + 45.5 + 60 +
                            76.5 + 95);
    long (*variadic)(id, SEL, int, ...) =
        (long (*)(id, SEL, int, ...))(void (*)(void))objc_msgSend;
    EXPECT_EQ(variadic(probe(), sel_registerName("sum:"), 3, 10.0, 20.0, 30.0), 140);
    Pair p = send<Pair>(probe(), "pair:with:", 7L, 9L);
    EXPECT_EQ(p.first, 7);
    EXPECT_EQ(p.second, 9);
}

TEST(GNUstepMsgSend, ANilReceiverAnswersZeroWhateverTheType)
{
    EXPECT_EQ(send<long>(nullptr, "count"), 0);
    EXPECT_EQ(send<double>(nullptr, "doubleValue"), 0.0);
    Pair p = send<Pair>(nullptr, "pair:with:", 1L, 2L);
    EXPECT_EQ(p.first, 0);
    EXPECT_EQ(p.second, 0);
}

std::string read_file(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MachoLoader, BindsEveryImportOfTheShippedSliceAndItsExtMainRegistersTheClass)
{
    char why[512] = "";
    void *entry = macho_load(QUENBRIX_SLICE, "_ext_main", why, sizeof why);
    ASSERT_NE(entry, nullptr) << why;
    maxhost_load((maxhost_entry)entry);
    EXPECT_TRUE(maxhost_class_registered("box", "quenbrix"));
}

TEST(MachoLoader, RefusesAnUnknownImportAndNamesIt)
{
    // The slice with one import renamed where the bind information names
    // it (SET_SYMBOL_TRAILING_FLAGS_IMM, 0x40, then the name).
    struct Case {
        std::string name, renamed, refusal;
    };
    const Case cases[] = {
        {"_snprintf", "_snprintg", "unknown import _snprintg (/usr/lib/libSystem.B.dylib)"},
        {"_objc_getClass", "_objc_getClasz", "unknown import _objc_getClasz (/usr/lib/libobjc.A.dylib)"},
        {"_gensym", "_gensyn", "unknown import _gensyn (flat lookup)"},
    };
    const std::string original = read_file(QUENBRIX_SLICE);
    ASSERT_FALSE(original.empty());
    for (const Case &c : cases) {
        std::string bytes = original;
        std::string from = '\x40' + c.name + '\0', to = '\x40' + c.renamed + '\0';
        size_t count = 0;
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1)) {
            bytes.replace(at, to.size(), to);
            ++count;
        }
        ASSERT_GT(count, 0u) << c.name << " is not bound by name in the slice";
        char path[] = "/tmp/quenbrix-slice-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size());
        close(fd);

        char why[512] = "";
        EXPECT_EQ(macho_load(path, "_ext_main", why, sizeof why), nullptr) << c.renamed;
        EXPECT_EQ(std::string(why), c.refusal);
        unlink(path);
    }
}

} // namespace

// What the GNUstep runs stand on: objc_msgSend over gcc's runtime, which
// must hand every argument register and the stack to the method untouched,
// and the Mach-O loader, which must bind the shipped slice whole or refuse
// it, naming the import it cannot bind.
#include "macho_loader.h"
#include "maxhost.h"

#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

extern "C" void objc_msgSend(void); // testbed/gnustep/objc_msgsend_x86_64.S

#include "msgsend_checks.h"

namespace {

id probe()
{
    static id object = [] {
        Class c = objc_allocateClassPair(Nil, "QuenbrixProbe", 0);
        for (const ProbeMethod &m : probe_methods)
            class_addMethod(c, sel_registerName(m.selector), (IMP)m.imp, m.types);
        objc_registerClassPair(c);
        return class_createInstance(c, 0);
    }();
    return object;
}

TEST(GNUstepMsgSend, MessagesArriveWithEveryArgumentRegisterAndTheStackIntact)
{
    expect_every_argument_register_and_the_stack_intact(probe());
}

TEST(GNUstepMsgSend, ANilReceiverAnswersZeroWhateverTheType)
{
    expect_a_nil_receiver_to_answer_zero_whatever_the_type();
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

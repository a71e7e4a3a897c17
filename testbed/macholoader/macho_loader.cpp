// The Mach-O loader (see macho_loader.h). The formats are those of Apple's
// public <mach-o/loader.h> and <mach-o/fat.h>: a fat header (big-endian),
// a 64-bit Mach-O header, load commands, and the dyld information's rebase,
// bind and export-trie encodings.
#include "macho_loader.h"

#include <dlfcn.h>
#include <libproc.h>
#include <sys/auxv.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" void objc_msgSend(void); // testbed/gnustep/objc_msgsend_x86_64.S

namespace {

// <mach-o/loader.h>, <mach-o/fat.h>
const uint32_t FAT_MAGIC = 0xcafebabe, MH_MAGIC_64 = 0xfeedfacf;
const int32_t CPU_TYPE_X86_64 = 0x01000007;
const uint32_t MH_BUNDLE = 8;
const uint32_t LC_REQ_DYLD = 0x80000000;
const uint32_t LC_SEGMENT_64 = 0x19, LC_DYSYMTAB = 0xb, LC_LOAD_DYLIB = 0xc,
               LC_LOAD_WEAK_DYLIB = 0x18 | LC_REQ_DYLD, LC_REEXPORT_DYLIB = 0x1f | LC_REQ_DYLD,
               LC_LAZY_LOAD_DYLIB = 0x20, LC_LOAD_UPWARD_DYLIB = 0x23 | LC_REQ_DYLD,
               LC_DYLD_INFO = 0x22, LC_DYLD_INFO_ONLY = 0x22 | LC_REQ_DYLD,
               LC_DYLD_EXPORTS_TRIE = 0x33 | LC_REQ_DYLD,
               LC_DYLD_CHAINED_FIXUPS = 0x34 | LC_REQ_DYLD, LC_MAIN = 0x28 | LC_REQ_DYLD;
// Section types the loader would have to act on, and does not.
const uint32_t SECTION_TYPE = 0xff, S_MOD_INIT_FUNC_POINTERS = 0x9,
               S_MOD_TERM_FUNC_POINTERS = 0xa, S_THREAD_LOCAL_REGULAR = 0x11,
               S_INIT_FUNC_OFFSETS = 0x16;
const int BIND_SPECIAL_DYLIB_FLAT_LOOKUP = -2;

const char *const LIBSYSTEM = "/usr/lib/libSystem.B.dylib";
const char *const LIBOBJC = "/usr/lib/libobjc.A.dylib";

[[noreturn]] void refuse(const std::string &why)
{
    throw std::runtime_error(why);
}

// Little-endian reads within a part of the file, each checked against its
// end.
struct Bytes {
    const uint8_t *data = nullptr;
    uint64_t size = 0;

    template <typename T> T at(uint64_t offset) const
    {
        if (offset > size || sizeof(T) > size - offset)
            refuse("truncated Mach-O data");
        T value;
        std::memcpy(&value, data + offset, sizeof value);
        return value;
    }
    const uint8_t *ptr(uint64_t offset, uint64_t length) const
    {
        if (offset > size || length > size - offset)
            refuse("truncated Mach-O data");
        return data + offset;
    }
};

uint32_t big_endian(uint32_t v)
{
    return __builtin_bswap32(v);
}

// A stream of dyld opcodes with their LEB128 operands.
struct Stream {
    const uint8_t *p, *end;

    bool done() const { return p >= end; }
    uint8_t byte()
    {
        if (p >= end)
            refuse("dyld information runs past its end");
        return *p++;
    }
    uint64_t uleb()
    {
        uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            uint8_t b = byte();
            if (shift < 64)
                value |= (uint64_t)(b & 0x7f) << shift;
            if (!(b & 0x80))
                return value;
        }
    }
    int64_t sleb()
    {
        int64_t value = 0;
        int shift = 0;
        uint8_t b;
        do {
            b = byte();
            if (shift < 64)
                value |= (int64_t)(b & 0x7f) << shift;
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40))
            value |= -((int64_t)1 << shift);
        return value;
    }
    const char *cstring()
    {
        const char *s = (const char *)p;
        while (byte() != 0) {
        }
        return s;
    }
};

struct Segment {
    std::string name;
    uint64_t vmaddr, vmsize, fileoff, filesize;
    int initprot;
};

struct Image {
    Bytes file;
    std::vector<Segment> segments;
    std::vector<std::string> libraries; // by ordinal, from 1
    uint32_t rebase_off = 0, rebase_size = 0, bind_off = 0, bind_size = 0,
             weak_bind_off = 0, weak_bind_size = 0, lazy_bind_off = 0, lazy_bind_size = 0,
             export_off = 0, export_size = 0;
    bool has_dyld_info = false;
    uint64_t header = 0;        // the address of the Mach-O header
    uint64_t low = 0, high = 0; // the address range of the segments
    uint8_t *base = nullptr;    // where `low` is mapped
};

// The x86-64 slice of a fat file, or the whole of a thin one.
Bytes x86_64_slice(const std::vector<uint8_t> &data)
{
    Bytes whole{data.data(), data.size()};
    if (big_endian(whole.at<uint32_t>(0)) != FAT_MAGIC)
        return whole;
    uint32_t count = big_endian(whole.at<uint32_t>(4));
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t arch = 8 + 20 * (uint64_t)i;
        if ((int32_t)big_endian(whole.at<uint32_t>(arch)) != CPU_TYPE_X86_64)
            continue;
        uint32_t offset = big_endian(whole.at<uint32_t>(arch + 8));
        uint32_t size = big_endian(whole.at<uint32_t>(arch + 12));
        return Bytes{whole.ptr(offset, size), size};
    }
    refuse("no x86-64 slice in the fat file");
}

void read_load_commands(Image &image)
{
    const Bytes &f = image.file;
    if (f.at<uint32_t>(0) != MH_MAGIC_64 || f.at<int32_t>(4) != CPU_TYPE_X86_64)
        refuse("not a 64-bit x86-64 Mach-O file");
    if (f.at<uint32_t>(12) != MH_BUNDLE)
        refuse("not a Mach-O bundle");
    uint32_t ncmds = f.at<uint32_t>(16);
    uint64_t at = 32;
    for (uint32_t i = 0; i < ncmds; ++i) {
        uint32_t cmd = f.at<uint32_t>(at), cmdsize = f.at<uint32_t>(at + 4);
        if (cmdsize < 8)
            refuse("malformed load command");
        if (cmd == LC_SEGMENT_64) {
            Segment s;
            s.name.assign((const char *)f.ptr(at + 8, 16), strnlen((const char *)f.ptr(at + 8, 16), 16));
            s.vmaddr = f.at<uint64_t>(at + 24);
            s.vmsize = f.at<uint64_t>(at + 32);
            s.fileoff = f.at<uint64_t>(at + 40);
            s.filesize = f.at<uint64_t>(at + 48);
            s.initprot = f.at<int32_t>(at + 60);
            if (s.vmaddr % 4096 || s.filesize > s.vmsize)
                refuse("segment " + s.name + " is not page-aligned or larger on file than in memory");
            f.ptr(s.fileoff, s.filesize);
            if (s.fileoff == 0 && s.filesize)
                image.header = s.vmaddr;
            uint32_t nsects = f.at<uint32_t>(at + 64);
            for (uint32_t k = 0; k < nsects; ++k) {
                uint64_t sect = at + 72 + 80 * (uint64_t)k;
                uint32_t type = f.at<uint32_t>(sect + 64) & SECTION_TYPE;
                std::string name((const char *)f.ptr(sect, 16), strnlen((const char *)f.ptr(sect, 16), 16));
                if (type == S_MOD_INIT_FUNC_POINTERS || type == S_MOD_TERM_FUNC_POINTERS ||
                    type == S_INIT_FUNC_OFFSETS)
                    refuse("initialisers or terminators (section " + name + ")");
                if (type >= S_THREAD_LOCAL_REGULAR && type < S_INIT_FUNC_OFFSETS)
                    refuse("thread-local storage (section " + name + ")");
            }
            image.segments.push_back(s);
        } else if (cmd == LC_LOAD_DYLIB || cmd == LC_LOAD_WEAK_DYLIB ||
                   cmd == LC_REEXPORT_DYLIB || cmd == LC_LAZY_LOAD_DYLIB ||
                   cmd == LC_LOAD_UPWARD_DYLIB) {
            uint32_t name = f.at<uint32_t>(at + 8);
            if (name >= cmdsize)
                refuse("malformed library load command");
            const char *s = (const char *)f.ptr(at + name, cmdsize - name);
            image.libraries.emplace_back(s, strnlen(s, cmdsize - name));
        } else if (cmd == LC_DYLD_INFO || cmd == LC_DYLD_INFO_ONLY) {
            image.has_dyld_info = true;
            image.rebase_off = f.at<uint32_t>(at + 8);
            image.rebase_size = f.at<uint32_t>(at + 12);
            image.bind_off = f.at<uint32_t>(at + 16);
            image.bind_size = f.at<uint32_t>(at + 20);
            image.weak_bind_off = f.at<uint32_t>(at + 24);
            image.weak_bind_size = f.at<uint32_t>(at + 28);
            image.lazy_bind_off = f.at<uint32_t>(at + 32);
            image.lazy_bind_size = f.at<uint32_t>(at + 36);
            image.export_off = f.at<uint32_t>(at + 40);
            image.export_size = f.at<uint32_t>(at + 44);
        } else if (cmd == LC_DYSYMTAB) {
            // nextrel and nlocrel: classic relocations, which dyld
            // information replaces.
            if (f.at<uint32_t>(at + 8 + 4 * 15) || f.at<uint32_t>(at + 8 + 4 * 17))
                refuse("classic relocations");
        } else if (cmd == LC_DYLD_CHAINED_FIXUPS || cmd == LC_DYLD_EXPORTS_TRIE) {
            refuse("chained fixups");
        } else if (cmd == LC_MAIN) {
            refuse("an executable, not a bundle");
        }
        at += cmdsize;
    }
    if (!image.has_dyld_info)
        refuse("no dyld information (LC_DYLD_INFO_ONLY)");
    if (image.weak_bind_size)
        refuse("weak binds");
    if (image.segments.empty())
        refuse("no segments");
}

void map_segments(Image &image)
{
    image.low = UINT64_MAX;
    for (const Segment &s : image.segments) {
        if (s.vmsize == 0)
            continue;
        image.low = std::min(image.low, s.vmaddr);
        image.high = std::max(image.high, s.vmaddr + s.vmsize);
    }
    size_t span = (image.high - image.low + 4095) & ~(uint64_t)4095;
    void *base = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        refuse("cannot map the image");
    image.base = (uint8_t *)base;
    for (const Segment &s : image.segments)
        if (s.filesize)
            std::memcpy(image.base + (s.vmaddr - image.low), image.file.ptr(s.fileoff, s.filesize),
                        s.filesize);
}

// The pointer-sized slot at `offset` within segment `index`.
uint64_t *slot(Image &image, uint64_t index, uint64_t offset)
{
    if (index >= image.segments.size())
        refuse("fixup in a segment that does not exist");
    const Segment &s = image.segments[index];
    if (offset > s.vmsize || s.vmsize - offset < 8)
        refuse("fixup outside segment " + s.name);
    return (uint64_t *)(image.base + (s.vmaddr - image.low) + offset);
}

Stream stream(Image &image, uint32_t off, uint32_t size)
{
    const uint8_t *p = image.file.ptr(off, size);
    return Stream{p, p + size};
}

void apply_rebases(Image &image)
{
    const uint64_t slide = (uint64_t)image.base - image.low;
    Stream s = stream(image, image.rebase_off, image.rebase_size);
    uint64_t segment = UINT64_MAX, offset = 0;
    int type = 0;
    auto rebase = [&] {
        if (type != 1) // REBASE_TYPE_POINTER
            refuse("rebase of type " + std::to_string(type));
        *slot(image, segment, offset) += slide;
        offset += 8;
    };
    while (!s.done()) {
        uint8_t b = s.byte(), imm = b & 0x0f;
        switch (b & 0xf0) {
        case 0x00: return; // DONE
        case 0x10: type = imm; break;
        case 0x20: segment = imm; offset = s.uleb(); break;
        case 0x30: offset += s.uleb(); break;
        case 0x40: offset += imm * 8u; break;
        case 0x50: for (int i = 0; i < imm; ++i) rebase(); break;
        case 0x60: for (uint64_t i = 0, n = s.uleb(); i < n; ++i) rebase(); break;
        case 0x70: rebase(); offset += s.uleb(); break;
        case 0x80: {
            uint64_t n = s.uleb(), skip = s.uleb();
            for (uint64_t i = 0; i < n; ++i) {
                rebase();
                offset += skip;
            }
            break;
        }
        default: refuse("unknown rebase opcode");
        }
    }
}

// ---- what each import is bound to ----

// The stack guard of code built for macOS, which reads it from libSystem.
uintptr_t stack_guard[8];

void stub_binder_trap(void)
{
    std::fprintf(stderr, "macho loader: dyld_stub_binder reached, though every import "
                         "was bound at load\n");
    std::abort();
}

// Whether `symbol` lies in the same loaded object as `anchor`.
bool same_object(const void *symbol, const void *anchor)
{
    Dl_info a, b;
    return symbol && anchor && dladdr(symbol, &a) && dladdr(anchor, &b) &&
           a.dli_fbase == b.dli_fbase;
}

// `name` without its underscore, defined in the object that holds `anchor`.
void *in_object(void *handle, const char *name, const void *anchor)
{
    if (name[0] != '_' || !handle)
        return nullptr;
    void *p = dlsym(handle, name + 1);
    return same_object(p, anchor) ? p : nullptr;
}

void *library(const char *soname)
{
    return dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
}

void *resolve(const Image &image, int64_t ordinal, const std::string &name)
{
    if (ordinal == BIND_SPECIAL_DYLIB_FLAT_LOOKUP) {
        // The host's object API: the stand-in host linked into this program.
        static void *program = dlopen(nullptr, RTLD_NOW);
        return in_object(program, name.c_str(), (const void *)&macho_load);
    }
    if (ordinal < 1 || (uint64_t)ordinal > image.libraries.size())
        return nullptr;
    const std::string &from = image.libraries[ordinal - 1];
    if (from == LIBSYSTEM) {
        struct Special {
            const char *name;
            void *address;
        };
        static const Special specials[] = {
            {"___stack_chk_guard", (void *)stack_guard},
            {"dyld_stub_binder", (void *)stub_binder_trap},
            {"_proc_name", (void *)proc_name},
            {"_proc_pidpath", (void *)proc_pidpath},
        };
        for (const Special &s : specials)
            if (name == s.name)
                return s.address;
        static void *libc = library("libc.so.6");
        return in_object(libc, name.c_str(), libc ? dlsym(libc, "getpid") : nullptr);
    }
    if (from == LIBOBJC) {
        if (name == "_objc_msgSend")
            return (void *)objc_msgSend;
        static void *libobjc = library("libobjc.so.4");
        return in_object(libobjc, name.c_str(),
                         libobjc ? dlsym(libobjc, "objc_msg_lookup") : nullptr);
    }
    return nullptr; // nothing here stands in for any other library
}

std::string library_name(const Image &image, int64_t ordinal)
{
    if (ordinal == BIND_SPECIAL_DYLIB_FLAT_LOOKUP)
        return "flat lookup";
    if (ordinal >= 1 && (uint64_t)ordinal <= image.libraries.size())
        return image.libraries[ordinal - 1];
    return "library ordinal " + std::to_string(ordinal);
}

// Runs a bind stream. The lazy one is a list of binds each ended by DONE.
void apply_binds(Image &image, uint32_t off, uint32_t size, bool lazy)
{
    Stream s = stream(image, off, size);
    uint64_t segment = UINT64_MAX, offset = 0;
    int64_t ordinal = 0, addend = 0;
    int type = 1;
    const char *name = nullptr;
    bool weak_import = false;
    auto bind = [&] {
        if (!name)
            refuse("bind without a symbol");
        if (type != 1) // BIND_TYPE_POINTER
            refuse(std::string("bind of type ") + std::to_string(type) + " for " + name);
        void *address = resolve(image, ordinal, name);
        if (!address && !weak_import)
            refuse(std::string("unknown import ") + name + " (" + library_name(image, ordinal) + ")");
        *slot(image, segment, offset) = (uint64_t)address + (uint64_t)addend;
        offset += 8;
    };
    while (!s.done()) {
        uint8_t b = s.byte(), imm = b & 0x0f;
        switch (b & 0xf0) {
        case 0x00: // DONE
            if (!lazy)
                return;
            break;
        case 0x10: ordinal = imm; break;
        case 0x20: ordinal = (int64_t)s.uleb(); break;
        case 0x30: ordinal = imm ? (int8_t)(0xf0 | imm) : 0; break;
        case 0x40:
            weak_import = imm & 0x1; // BIND_SYMBOL_FLAGS_WEAK_IMPORT
            name = s.cstring();
            break;
        case 0x50: type = imm; break;
        case 0x60: addend = s.sleb(); break;
        case 0x70: segment = imm; offset = s.uleb(); break;
        case 0x80: offset += s.uleb(); break;
        case 0x90: bind(); break;
        case 0xa0: bind(); offset += s.uleb(); break;
        case 0xb0: bind(); offset += imm * 8u; break;
        case 0xc0: {
            uint64_t n = s.uleb(), skip = s.uleb();
            for (uint64_t i = 0; i < n; ++i) {
                bind();
                offset += skip;
            }
            break;
        }
        default: refuse("unknown bind opcode");
        }
    }
}

// The address of the export `symbol`, by a walk down the export trie.
void *find_export(Image &image, const char *symbol)
{
    const uint8_t *trie = image.file.ptr(image.export_off, image.export_size);
    uint64_t node = 0;
    const char *rest = symbol;
    for (int depth = 0; depth < 256; ++depth) {
        if (node >= image.export_size)
            refuse("malformed export trie");
        Stream s{trie + node, trie + image.export_size};
        uint64_t terminal = s.uleb();
        const uint8_t *children = s.p + terminal;
        if (*rest == '\0') {
            if (!terminal)
                break;
            uint64_t flags = s.uleb();
            if (flags & ~(uint64_t)0x4) // anything but a regular (weak) definition
                refuse(std::string("export ") + symbol + " is not a plain definition");
            return image.base + (s.uleb() + image.header - image.low);
        }
        s.p = children;
        uint8_t count = s.byte();
        bool found = false;
        for (uint8_t i = 0; i < count && !found; ++i) {
            const char *edge = s.cstring();
            uint64_t child = s.uleb();
            size_t n = strlen(edge);
            if (strncmp(rest, edge, n) == 0) {
                rest += n;
                node = child;
                found = true;
            }
        }
        if (!found)
            break;
    }
    refuse(std::string("no export ") + symbol);
}

void protect_segments(Image &image)
{
    for (const Segment &s : image.segments) {
        if (!s.vmsize)
            continue;
        size_t length = (s.vmsize + 4095) & ~(uint64_t)4095;
        // VM_PROT_READ, _WRITE and _EXECUTE have the values of PROT_*.
        if (mprotect(image.base + (s.vmaddr - image.low), length, s.initprot & 7) != 0)
            refuse("cannot protect segment " + s.name);
    }
}

void init_stack_guard()
{
    if (stack_guard[0])
        return;
    const uint8_t *random = (const uint8_t *)getauxval(AT_RANDOM);
    uintptr_t guard = 0;
    if (random)
        std::memcpy(&guard, random + 8, sizeof guard);
    stack_guard[0] = (guard & ~(uintptr_t)0xff) | 0x5a00; // never zero
}

} // namespace

extern "C" void *macho_load(const char *path, const char *symbol, char *why, size_t why_size)
{
    Image image;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            refuse(std::string("cannot read ") + path);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        image.file = x86_64_slice(data);
        read_load_commands(image);
        init_stack_guard();
        map_segments(image);
        apply_rebases(image);
        apply_binds(image, image.bind_off, image.bind_size, false);
        apply_binds(image, image.lazy_bind_off, image.lazy_bind_size, true);
        void *entry = find_export(image, symbol);
        protect_segments(image);
        return entry;
    } catch (const std::exception &e) {
        if (image.base)
            munmap(image.base, (image.high - image.low + 4095) & ~(uint64_t)4095);
        if (why && why_size)
            std::snprintf(why, why_size, "%s", e.what());
        return nullptr;
    }
}

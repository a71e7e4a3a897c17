// Stand-in host: counted memory, UTF-8/UTF-16 conversion and string objects.
#include "host_state.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace maxhost_internal;

namespace maxhost_internal {

#ifdef _WIN32
// Under Wine no sanitizer watches the heap, so each block gets pages of its
// own and ends where its last page ends: reading past its end faults, and so
// does any read after it was freed, since freed pages are made inaccessible
// and kept reserved for a while, their address not handed out again. (The
// native builds leave this to AddressSanitizer.)
const size_t kPage = 4096;
const size_t kFreedBlocksKept = 8192;

Block block_new(size_t bytes, void **user)
{
    size_t size = (bytes + 15) / 16 * 16; // the host's alignment
    size_t span = (size + kPage - 1) / kPage * kPage;
    void *base = VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    *user = base ? (char *)base + (span - size) : nullptr;
    return {base, span};
}

void block_free(Host &h, const Block &b)
{
    DWORD old;
    VirtualProtect(b.base, b.bytes, PAGE_NOACCESS, &old);
    h.freed_blocks.push_back(b);
    if (h.freed_blocks.size() > kFreedBlocksKept) {
        VirtualFree(h.freed_blocks.front().base, 0, MEM_RELEASE);
        h.freed_blocks.pop_front();
    }
}
#else
Block block_new(size_t bytes, void **user)
{
    *user = std::calloc(1, bytes);
    return {*user, bytes};
}

void block_free(Host &, const Block &b)
{
    std::free(b.base);
}
#endif

void *counted_alloc(size_t bytes)
{
    void *p = nullptr;
    Block b = block_new(bytes ? bytes : 1, &p);
    if (!p)
        return nullptr;
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.allocations[p] = b;
    return p;
}

bool counted_free(void *p)
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    auto it = h.allocations.find(p);
    if (it == h.allocations.end()) {
        ++h.bad_frees;
        return false;
    }
    block_free(h, it->second);
    h.allocations.erase(it);
    return true;
}

// UTF-8 <-> UTF-16 with U+FFFD for anything malformed (lone surrogates,
// stray or truncated bytes), so no input can make either side overrun.
std::string utf16_to_utf8(const unsigned short *s, long units)
{
    std::string out;
    for (long i = 0; i < units; ++i) {
        unsigned long c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<unsigned short> utf8_to_utf16(const char *text)
{
    const unsigned char *s = (const unsigned char *)text;
    size_t n = std::strlen(text);
    std::vector<unsigned short> out;
    for (size_t i = 0; i < n;) {
        unsigned long c = s[i];
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + len <= n;
        unsigned long cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back((unsigned short)(0xD800 + (cp >> 10)));
            out.push_back((unsigned short)(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back((unsigned short)cp);
        }
        i += len;
    }
    return out;
}

} // namespace maxhost_internal

extern "C" {

char *sysmem_newptrclear(t_ptr_size size)
{
    if (fails(FAULT_SYSMEM_NEWPTRCLEAR))
        return nullptr;
    return (char *)counted_alloc((size_t)size);
}

void sysmem_freeptr(void *ptr)
{
    if (ptr)
        counted_free(ptr);
}

char *charset_unicodetoutf8(unsigned short *text, long units, long *outlen)
{
    if (fails(FAULT_CHARSET_UNICODETOUTF8) || !text)
        return nullptr;
    if (units < 0)
        for (units = 0; text[units]; ++units) {
        }
    std::string utf8 = utf16_to_utf8(text, units);
    char *out = (char *)counted_alloc(utf8.size() + 1);
    if (!out)
        return nullptr;
    std::memcpy(out, utf8.c_str(), utf8.size() + 1);
    if (outlen)
        *outlen = (long)utf8.size();
    return out;
}

unsigned short *charset_utf8tounicode(char *text, long *outlen)
{
    if (fails(FAULT_CHARSET_UTF8TOUNICODE) || !text)
        return nullptr;
    std::vector<unsigned short> wide = utf8_to_utf16(text);
    unsigned short *out =
        (unsigned short *)counted_alloc((wide.size() + 1) * sizeof(unsigned short));
    if (!out)
        return nullptr;
    if (!wide.empty())
        std::memcpy(out, wide.data(), wide.size() * sizeof(unsigned short));
    if (outlen)
        *outlen = (long)wide.size();
    return out;
}

t_string *string_new(const char *text)
{
    if (fails(FAULT_STRING_NEW))
        return nullptr;
    StringObject *s = new StringObject{text ? text : ""};
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    h.strings.insert(s);
    return (t_string *)s;
}

void string_append(t_string *x, const char *text)
{
    if (x && text)
        ((StringObject *)x)->text += text;
}

const char *string_getptr(t_string *x)
{
    return x ? ((StringObject *)x)->text.c_str() : "";
}

} // extern "C"

// Stand-in host: the search path (path_absolutepath) and path conversion.
#include "host_state.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace maxhost_internal;

namespace maxhost_internal {

bool is_file(const std::string &path)
{
#ifdef _WIN32
    std::vector<unsigned short> wide = utf8_to_utf16(path.c_str());
    wide.push_back(0);
    DWORD attrs = GetFileAttributesW((const wchar_t *)wide.data());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool is_absolute(const std::string &p)
{
    if (!p.empty() && (p[0] == '/' || p[0] == '\\'))
        return true;
    return p.size() > 2 && p[1] == ':' && (p[2] == '/' || p[2] == '\\');
}

// The host does not say that its search path may be used from any thread
// but the main one: the stand-in counts the calls that come from elsewhere.
void note_path_call()
{
    Host &h = host();
    std::lock_guard<std::mutex> lock(h.mu);
    if (h.main_known && std::this_thread::get_id() != h.main_thread)
        ++h.path_calls_off_main;
}

} // namespace maxhost_internal

extern "C" {

t_max_err path_absolutepath(t_symbol **result, const t_symbol *name,
                            const t_fourcc *, short)
{
    note_path_call();
    *result = nullptr;
    if (fails(FAULT_PATH_ABSOLUTEPATH) || !name || !name->s_name[0])
        return -1;
    std::string wanted = name->s_name;
    std::vector<std::string> candidates;
    if (is_absolute(wanted)) {
        candidates.push_back(wanted);
    } else {
        Host &h = host();
        std::lock_guard<std::mutex> lock(h.mu);
        for (const std::string &folder : h.search_path)
            candidates.push_back(folder + "/" + wanted);
    }
    for (std::string &path : candidates) {
        if (is_file(path)) {
            std::replace(path.begin(), path.end(), '\\', '/'); // host form
            *result = gensym(path.c_str());
            return 0;
        }
    }
    return -1;
}

// Fails, as the host's does, when the result does not fit its 2,048 bytes.
short path_nameconform(const char *src, char *dst, long style, long)
{
    note_path_call();
    size_t n = std::strlen(src);
    if (fails(FAULT_PATH_NAMECONFORM) || n >= MAX_PATH_CHARS) {
        dst[0] = '\0';
        return 1;
    }
    std::memcpy(dst, src, n + 1);
#ifdef _WIN32
    if (style == PATH_STYLE_NATIVE)
        std::replace(dst, dst + n, '/', '\\');
#else
    (void)style;
#endif
    return 0;
}

} // extern "C"

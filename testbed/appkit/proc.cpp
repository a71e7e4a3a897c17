// Stand-ins for the BSD process calls, answering from the model: the name
// and the executable path that a test has set for this process.
#include "objects.h"

#include <libproc.h>
#include <unistd.h>

#include <cstring>

namespace {

// Copies as much as fits, always terminated, and returns the bytes copied;
// 0 when the process is not this one or the model says the call fails.
int answer(int pid, bool ok, const std::string &text, void *buffer, uint32_t size)
{
    if (pid != getpid() || !ok || !buffer || size == 0)
        return 0;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    static_cast<char *>(buffer)[n] = '\0';
    return (int)n;
}

} // namespace

extern "C" int proc_name(int pid, void *buffer, uint32_t size)
{
    std::string name;
    bool ok = !appkit::fails("proc_name") && appkit::process_name(name);
    return answer(pid, ok, name, buffer, size);
}

extern "C" int proc_pidpath(int pid, void *buffer, uint32_t size)
{
    std::string path;
    bool ok = !appkit::fails("proc_pidpath") && appkit::process_path(path);
    return answer(pid, ok, path, buffer, size);
}

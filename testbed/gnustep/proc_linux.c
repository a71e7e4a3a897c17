// The two BSD process calls that the macOS file makes, answered from
// Linux's /proc for this process: proc_name gives the executable's file
// name, proc_pidpath its full path. As on macOS, each returns the bytes
// written, 0 on failure or for another process, and always terminates; and
// as on macOS, a name is never longer than the kernel keeps it (2 *
// MAXCOMLEN, 32 bytes).
#include <libproc.h>

#include <string.h>
#include <unistd.h>

#define PROC_NAME_MAX 32

static int proc_exe_path(int pid, char *buffer, uint32_t size)
{
    if (pid != getpid() || !buffer || size < 2)
        return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0)
        return 0;
    buffer[n] = '\0';
    return (int)n;
}

int proc_pidpath(int pid, void *buffer, uint32_t size)
{
    return proc_exe_path(pid, buffer, size);
}

int proc_name(int pid, void *buffer, uint32_t size)
{
    char path[4096];
    if (!proc_exe_path(pid, path, sizeof path) || !buffer || size == 0)
        return 0;
    const char *name = strrchr(path, '/');
    name = name ? name + 1 : path;
    size_t n = strlen(name);
    if (n > PROC_NAME_MAX)
        n = PROC_NAME_MAX;
    if (n > size - 1)
        n = size - 1;
    memcpy(buffer, name, n);
    ((char *)buffer)[n] = '\0';
    return (int)n;
}

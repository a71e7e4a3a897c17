// Process information calls from libSystem.
#ifndef QUENBRIX_SDK_LIBPROC_H
#define QUENBRIX_SDK_LIBPROC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Both return the number of bytes written, 0 or less on failure.
int proc_name(int pid, void *buffer, uint32_t buffersize);
int proc_pidpath(int pid, void *buffer, uint32_t buffersize);

#ifdef __cplusplus
}
#endif

#endif

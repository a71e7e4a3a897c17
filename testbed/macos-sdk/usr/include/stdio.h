// Formatted output into a buffer, from libSystem.
#ifndef QUENBRIX_SDK_STDIO_H
#define QUENBRIX_SDK_STDIO_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int snprintf(char *__restrict buffer, size_t size, const char *__restrict format, ...)
    __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif

#endif

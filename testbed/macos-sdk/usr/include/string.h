// String search and memory moves, from libSystem.
#ifndef QUENBRIX_SDK_STRING_H
#define QUENBRIX_SDK_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

char *strstr(const char *haystack, const char *needle);
void *memchr(const void *s, int c, size_t n);
void *memcpy(void *dst, const void *src, size_t n);
void *memmove(void *dst, const void *src, size_t n);

#ifdef __cplusplus
}
#endif

#endif

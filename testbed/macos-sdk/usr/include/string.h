// String search, from libSystem.
#ifndef QUENBRIX_SDK_STRING_H
#define QUENBRIX_SDK_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

char *strstr(const char *haystack, const char *needle);

#ifdef __cplusplus
}
#endif

#endif

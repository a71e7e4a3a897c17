// What the plug-in needs of the host's declarations, whoever wrote them
// (host/max_api.h, or the host maker's SDK through host/sdk/max_api.h): the
// export of the entry point, and the binary layout of the host's records on
// the 64-bit targets.
#ifndef QUENBRIX_MAX_API_LAYOUT_H
#define QUENBRIX_MAX_API_LAYOUT_H

#include <stddef.h>

#if defined(_WIN32)
#define QUENBRIX_EXPORT __declspec(dllexport)
#else
#define QUENBRIX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
static_assert(sizeof(t_object) == 32, "object header is 32 bytes");
static_assert(sizeof(t_symbol) == 16, "symbol is 16 bytes");
static_assert(sizeof(t_atom) == 16 && offsetof(t_atom, a_w) == 8,
              "atom is a short type tag and an 8-byte word at offset 8");
#endif

#endif

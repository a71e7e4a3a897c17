// The BSD fixed-width names that the host maker's SDK headers use.
#ifndef QUENBRIX_SDK_SYS_TYPES_H
#define QUENBRIX_SDK_SYS_TYPES_H

#include <stdint.h>

typedef uint32_t u_int32_t;
typedef uint64_t u_int64_t;

#endif

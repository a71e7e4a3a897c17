// Class and selector lookup by name, from libobjc.
#ifndef QUENBRIX_SDK_OBJC_RUNTIME_H
#define QUENBRIX_SDK_OBJC_RUNTIME_H

#include <objc/objc.h>

#ifdef __cplusplus
extern "C" {
#endif

Class objc_getClass(const char *name);
SEL sel_registerName(const char *name);

#ifdef __cplusplus
}
#endif

#endif

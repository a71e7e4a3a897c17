// Message sending, from libobjc. Declared without a prototype: every call
// casts it to the exact type of the method it reaches.
#ifndef QUENBRIX_SDK_OBJC_MESSAGE_H
#define QUENBRIX_SDK_OBJC_MESSAGE_H

#include <objc/objc.h>

#ifdef __cplusplus
extern "C" {
#endif

void objc_msgSend(void);

#ifdef __cplusplus
}
#endif

#endif

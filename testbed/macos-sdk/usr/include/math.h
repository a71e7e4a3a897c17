// Included by the host maker's SDK headers; nothing from it is used here.
#ifndef QUENBRIX_SDK_MATH_H
#define QUENBRIX_SDK_MATH_H
#endif

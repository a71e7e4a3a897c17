// Included by the host maker's SDK headers (ext_atomic.h); nothing from it
// is used here.
#ifndef QUENBRIX_SDK_OSATOMIC_H
#define QUENBRIX_SDK_OSATOMIC_H
#endif

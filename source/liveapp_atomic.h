// The few atomic operations the object needs, for every compiler that builds
// it: the Interlocked intrinsics wherever the compiler speaks for Visual
// Studio (cl, and clang for an MSVC target, which the build checks here), and
// the __atomic built-ins of GCC and clang elsewhere (mingw-w64, Xcode, Apple's
// and LLVM's clang). Each one is a full barrier.
#ifndef QUENBRIX_LIVEAPP_ATOMIC_H
#define QUENBRIX_LIVEAPP_ATOMIC_H

#include <stdint.h>

#if defined(_MSC_VER)
#include <intrin.h>

static inline int32_t liveapp_atomic_exchange(volatile int32_t *p, int32_t value)
{
    return (int32_t)_InterlockedExchange((volatile long *)p, (long)value);
}

static inline int32_t liveapp_atomic_add(volatile int32_t *p, int32_t delta)
{
    return (int32_t)_InterlockedExchangeAdd((volatile long *)p, (long)delta) + delta;
}

static inline int32_t liveapp_atomic_load(volatile int32_t *p)
{
    return (int32_t)_InterlockedCompareExchange((volatile long *)p, 0, 0);
}

static inline void *liveapp_atomic_exchange_ptr(void *volatile *p, void *value)
{
    return _InterlockedExchangePointer(p, value);
}

static inline void *liveapp_atomic_load_ptr(void *volatile *p)
{
    return _InterlockedCompareExchangePointer(p, nullptr, nullptr);
}

// Stores `value` if *p still holds `expected`; true when it did.
static inline bool liveapp_atomic_cas_ptr(void *volatile *p, void *expected, void *value)
{
    return _InterlockedCompareExchangePointer(p, value, expected) == expected;
}
#else
static inline int32_t liveapp_atomic_exchange(volatile int32_t *p, int32_t value)
{
    return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST);
}

static inline int32_t liveapp_atomic_add(volatile int32_t *p, int32_t delta)
{
    return __atomic_add_fetch(p, delta, __ATOMIC_SEQ_CST);
}

static inline int32_t liveapp_atomic_load(volatile int32_t *p)
{
    return __atomic_load_n(p, __ATOMIC_SEQ_CST);
}

static inline void *liveapp_atomic_exchange_ptr(void *volatile *p, void *value)
{
    return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST);
}

static inline void *liveapp_atomic_load_ptr(void *volatile *p)
{
    return __atomic_load_n(p, __ATOMIC_SEQ_CST);
}

// Stores `value` if *p still holds `expected`; true when it did.
static inline bool liveapp_atomic_cas_ptr(void *volatile *p, void *expected, void *value)
{
    return __atomic_compare_exchange_n(p, &expected, value, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}
#endif

#endif

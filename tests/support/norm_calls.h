// Adapters that give every norm function one calling shape, (a, aStep, b, bStep, mask,
// maskStep, roi, coi, out), so a table of members can drive tests and benchmarks alike.
// Shared by tests/test_norm.cc and bench/bench_norm.cc.
#ifndef ZYLCV_TEST_NORM_CALLS_H
#define ZYLCV_TEST_NORM_CALLS_H

#include "zylcv.h"

#define ONE_C1(F, T)                                                                               \
    +[](const void *a, int as, const void *, int, const Zyl8u *m, int ms, ZyliSize r, int,          \
        Zyl64f *o) { return F(static_cast<const T *>(a), as, m, ms, r, o); }
#define ONE_C3(F, T)                                                                               \
    +[](const void *a, int as, const void *, int, const Zyl8u *m, int ms, ZyliSize r, int c,        \
        Zyl64f *o) { return F(static_cast<const T *>(a), as, m, ms, r, c, o); }
#define TWO_C1(F, T)                                                                               \
    +[](const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms, ZyliSize r, int,      \
        Zyl64f *o) { return F(static_cast<const T *>(a), as, static_cast<const T *>(b), bs, m, ms, r, o); }
#define TWO_C3(F, T)                                                                               \
    +[](const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms, ZyliSize r, int c,    \
        Zyl64f *o) { return F(static_cast<const T *>(a), as, static_cast<const T *>(b), bs, m, ms, r, c, o); }

#endif

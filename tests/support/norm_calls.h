// Every norm function behind one calling shape, (a, aStep, b, bStep, mask, maskStep, roi, coi,
// out), in one table of members that drives tests and benchmarks alike. Shared by
// tests/test_norm.cc and bench/bench_norm.cc.
#ifndef ZYLCV_TEST_NORM_CALLS_H
#define ZYLCV_TEST_NORM_CALLS_H

#include <ostream>
#include <type_traits>

#include "zylcv.h"

namespace norm_calls {

enum class Kind { Inf, L1, L2 };
enum class Term { Value, Diff, Rel };
enum class Type { U8, S8, F32 };

// b and bStep are ignored by the norms of one image, coi by the one-channel forms.
using Call = ZylStatus (*)(const void *a, int aStep, const void *b, int bStep, const Zyl8u *m,
                           int mStep, ZyliSize roi, int coi, Zyl64f *out);

struct Member {
    const char *name;
    Term term;
    Kind kind;
    Type type;
    bool coi;
    Call call;
};

inline void PrintTo(const Member &m, std::ostream *os) { *os << m.name; }

template <class T> constexpr Type type_of()
{
    return std::is_same_v<T, Zyl8u> ? Type::U8 : std::is_same_v<T, Zyl8s> ? Type::S8 : Type::F32;
}

// One member, zyli<name>_<K>_<TY>_C<C>MR<COPY>: C is 1 or 3C (channel of interest), B is
// ZT_NORM_TWO when the function takes a second source; COPY is empty, or _sse2 or _avx2 for a
// copy of the function in builds with the AVX2 twins.
#define ZT_NORM_MEMBER(COPY, name, term, K, TY, T, C, B)                                           \
    {                                                                                              \
#name "_" #K "_" #TY "_C" #C "MR", Term::term, Kind::K, type_of<T>(), #C[0] == '3',           \
     +[](const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms, ZyliSize r, int c,  \
         Zyl64f *o) {                                                                              \
         (void)b, (void)bs, (void)c;                                                               \
         return zyli##name##_##K##_##TY##_C##C##MR##COPY(static_cast<const T *>(a), as,            \
                                                   B(static_cast<const T *>(b), bs,) m, ms, r,     \
                                                   ZT_NORM_COI_##C o);                             \
     }    \
    }
#define ZT_NORM_COI_1
#define ZT_NORM_COI_3C c,
#define ZT_NORM_ONE(...)
#define ZT_NORM_TWO(...) __VA_ARGS__
// X(name, term, K, TY, T, C, B) for the six members of one kind and type, and for all 54: kinds
// Inf, L1, L2, each over 8u, 8s and 32f.
#define ZT_NORM_FORMS(X, K, TY, T)                                                                 \
    X(Norm, Value, K, TY, T, 1, ZT_NORM_ONE)                                                       \
    X(Norm, Value, K, TY, T, 3C, ZT_NORM_ONE) X(NormDiff, Diff, K, TY, T, 1, ZT_NORM_TWO)          \
        X(NormDiff, Diff, K, TY, T, 3C, ZT_NORM_TWO) X(NormRel, Rel, K, TY, T, 1, ZT_NORM_TWO)     \
            X(NormRel, Rel, K, TY, T, 3C, ZT_NORM_TWO)
#define ZT_NORM_EACH(X)                                                                            \
    ZT_NORM_FORMS(X, Inf, 8u, Zyl8u)                                                               \
    ZT_NORM_FORMS(X, Inf, 8s, Zyl8s) ZT_NORM_FORMS(X, Inf, 32f, Zyl32f)                            \
        ZT_NORM_FORMS(X, L1, 8u, Zyl8u) ZT_NORM_FORMS(X, L1, 8s, Zyl8s)                            \
            ZT_NORM_FORMS(X, L1, 32f, Zyl32f) ZT_NORM_FORMS(X, L2, 8u, Zyl8u)                      \
                ZT_NORM_FORMS(X, L2, 8s, Zyl8s) ZT_NORM_FORMS(X, L2, 32f, Zyl32f)

#define ZT_NORM_ENTRY(...) ZT_NORM_MEMBER(, __VA_ARGS__),
inline const Member kMembers[] = {ZT_NORM_EACH(ZT_NORM_ENTRY)};

}  // namespace norm_calls

#endif

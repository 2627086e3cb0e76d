// Channel-copy kernels between interleaved, one-channel and planar layouts: per-pixel helpers
// shared by both twins, and the twins' entries. Elements are moved as they are, never converted.
#ifndef ZYLCV_KERNELS_COPY_H
#define ZYLCV_KERNELS_COPY_H

#include "internal.h"

namespace zylcv {

// Pixels x0..w-1 of one row: element ch of each C-element source pixel.
template <class T, int C> inline void extract_span(const T *src, T *dst, int x0, int w, int ch)
{
    for (int x = x0; x < w; ++x) dst[x] = src[x * C + ch];
}

// Pixels x0..w-1 of one row: plane k receives element k of each pixel.
template <class T, int C> inline void split_span(const T *src, T *const *planes, int x0, int w)
{
    for (int x = x0; x < w; ++x)
        for (int k = 0; k < C; ++k) planes[k][x] = src[x * C + k];
}

// Pixels x0..w-1 of one row: element k of each destination pixel comes from plane k.
template <class T, int C>
inline void merge_span(const T *const *planes, T *dst, int x0, int w)
{
    for (int x = x0; x < w; ++x)
        for (int k = 0; k < C; ++k) dst[x * C + k] = planes[k][x];
}

// T is Zyl8u or Zyl32f, C is 3 or 4; both twins instantiate those four pairs. Planes share one
// step; `ch` of extract is 0-based.
#define ZYLCV_COPY_KERNELS                                                                      \
    template <class T, int C>                                                                   \
    void extract(const T *src, int srcStep, T *dst, int dstStep, int w, int h, int ch);         \
    template <class T, int C>                                                                   \
    void split(const T *src, int srcStep, T *const *planes, int planeStep, int w, int h);       \
    template <class T, int C>                                                                   \
    void merge(const T *const *planes, int planeStep, T *dst, int dstStep, int w, int h);

namespace portable { ZYLCV_COPY_KERNELS }
#if ZYLCV_SIMD
namespace sse2 { ZYLCV_COPY_KERNELS }
#endif
#undef ZYLCV_COPY_KERNELS

// The element types and channel counts every twin is built for.
#define ZYLCV_COPY_INSTANTIATE(T, C)                                                            \
    template void extract<T, C>(const T *, int, T *, int, int, int, int);                       \
    template void split<T, C>(const T *, int, T *const *, int, int, int);                       \
    template void merge<T, C>(const T *const *, int, T *, int, int, int);
#define ZYLCV_COPY_INSTANTIATE_ALL                                                              \
    ZYLCV_COPY_INSTANTIATE(Zyl8u, 3)                                                            \
    ZYLCV_COPY_INSTANTIATE(Zyl8u, 4)                                                            \
    ZYLCV_COPY_INSTANTIATE(Zyl32f, 3)                                                           \
    ZYLCV_COPY_INSTANTIATE(Zyl32f, 4)

}  // namespace zylcv

#endif

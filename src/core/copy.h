// Channel-copy kernels between interleaved, one-channel and planar layouts: the per-pixel helpers
// every twin uses, the row walks written once over a twin's row operations, and the twins'
// entries. Elements are moved as they are, never converted.
#ifndef ZYLCV_CORE_COPY_H
#define ZYLCV_CORE_COPY_H

#include "internal.h"

// The row walks melt into each twin's entries, so that their loops are optimised together with
// the twin's blocks as one function.
#define ZYLCV_COPY_INLINE inline __attribute__((always_inline))

namespace zylcv::copy {

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
template <class T, int C> inline void merge_span(const T *const *planes, T *dst, int x0, int w)
{
    for (int x = x0; x < w; ++x)
        for (int k = 0; k < C; ++k) dst[x * C + k] = planes[k][x];
}

// Every row: the twin's blocks from the row start (they return the pixels done), the rest
// through the span helpers. Extract's channel K is a template argument for twins with blocks
// (a block then computes only the register it stores); K < 0 leaves every pixel to the span
// helper.
template <class Rows, class T, int C, int K>
ZYLCV_COPY_INLINE void extract_rows(const T *src, int srcStep, T *dst, int dstStep, int w, int h,
                                    int ch)
{
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if constexpr (K >= 0) x = Rows::template extract_blocks<T, C, K>(src, dst, w);
        extract_span<T, C>(src, dst, x, w, ch);
        src = advance(src, srcStep);
        dst = advance(dst, dstStep);
    }
}

template <class Rows, class T, int C>
ZYLCV_COPY_INLINE void extract(const T *src, int srcStep, T *dst, int dstStep, int w, int h, int ch)
{
    if constexpr (Rows::kBlocks) {
        switch (ch) {
        case 0:
            return extract_rows<Rows, T, C, 0>(src, srcStep, dst, dstStep, w, h, ch);
        case 1:
            return extract_rows<Rows, T, C, 1>(src, srcStep, dst, dstStep, w, h, ch);
        case 2:
            return extract_rows<Rows, T, C, 2>(src, srcStep, dst, dstStep, w, h, ch);
        }
        if constexpr (C == 4)
            if (ch == 3) return extract_rows<Rows, T, C, 3>(src, srcStep, dst, dstStep, w, h, ch);
    }
    extract_rows<Rows, T, C, -1>(src, srcStep, dst, dstStep, w, h, ch);
}

template <class Rows, class T, int C>
ZYLCV_COPY_INLINE void split(const T *src, int srcStep, T *const *planes, int planeStep, int w,
                             int h)
{
    T *rows[C];
    for (int k = 0; k < C; ++k) rows[k] = planes[k];
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if constexpr (Rows::kBlocks) x = Rows::template split_blocks<T, C>(src, rows, w);
        split_span<T, C>(src, rows, x, w);
        src = advance(src, srcStep);
        for (int k = 0; k < C; ++k) rows[k] = advance(rows[k], planeStep);
    }
}

template <class Rows, class T, int C>
ZYLCV_COPY_INLINE void merge(const T *const *planes, int planeStep, T *dst, int dstStep, int w,
                             int h)
{
    const T *rows[C];
    for (int k = 0; k < C; ++k) rows[k] = planes[k];
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if constexpr (Rows::kBlocks) x = Rows::template merge_blocks<T, C>(rows, dst, w);
        merge_span<T, C>(rows, dst, x, w);
        for (int k = 0; k < C; ++k) rows[k] = advance(rows[k], planeStep);
        dst = advance(dst, dstStep);
    }
}

// The portable twin's row operations: no blocks, every pixel through the span helpers.
struct ScalarRows {
    static constexpr bool kBlocks = false;
};

}  // namespace zylcv::copy

namespace zylcv {
// T is Zyl8u or Zyl32f, C is 3 or 4; every twin builds those four pairs. Planes share one step;
// `ch` of extract is 0-based.
ZYLCV_DECLARE_TWINS_AVX2(template <class T, int C> void extract(const T *src, int srcStep, T *dst,
                                                                int dstStep, int w, int h, int ch);
                         template <class T, int C>
                         void split(const T *src, int srcStep, T *const *planes, int planeStep,
                                    int w, int h);
                         template <class T, int C> void merge(const T *const *planes, int planeStep,
                                                              T *dst, int dstStep, int w, int h);)
}  // namespace zylcv

// The entries of a twin over its row operations `Rows`, built for every element type and
// channel count.
#define ZYLCV_COPY_ENTRIES                                                                         \
    template <class T, int C>                                                                      \
    void extract(const T *src, int srcStep, T *dst, int dstStep, int w, int h, int ch)             \
    {                                                                                              \
        copy::extract<Rows, T, C>(src, srcStep, dst, dstStep, w, h, ch);                           \
    }                                                                                              \
    template <class T, int C>                                                                      \
    void split(const T *src, int srcStep, T *const *planes, int planeStep, int w, int h)           \
    {                                                                                              \
        copy::split<Rows, T, C>(src, srcStep, planes, planeStep, w, h);                            \
    }                                                                                              \
    template <class T, int C>                                                                      \
    void merge(const T *const *planes, int planeStep, T *dst, int dstStep, int w, int h)           \
    {                                                                                              \
        copy::merge<Rows, T, C>(planes, planeStep, dst, dstStep, w, h);                            \
    }                                                                                              \
    ZYLCV_COPY_ENTRY(Zyl8u, 3)                                                                     \
    ZYLCV_COPY_ENTRY(Zyl8u, 4)                                                                     \
    ZYLCV_COPY_ENTRY(Zyl32f, 3)                                                                    \
    ZYLCV_COPY_ENTRY(Zyl32f, 4)
#define ZYLCV_COPY_ENTRY(T, C)                                                                     \
    template void extract<T, C>(const T *, int, T *, int, int, int, int);                          \
    template void split<T, C>(const T *, int, T *const *, int, int, int);                          \
    template void merge<T, C>(const T *const *, int, T *, int, int, int);

#endif

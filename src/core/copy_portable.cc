// Portable channel-copy kernels: each row pixel by pixel through the shared span helpers.
#include "copy.h"

namespace zylcv::portable {

template <class T, int C>
void extract(const T *src, int srcStep, T *dst, int dstStep, int w, int h, int ch)
{
    for (int y = 0; y < h; ++y) {
        extract_span<T, C>(src, dst, 0, w, ch);
        src = advance(src, srcStep);
        dst = advance(dst, dstStep);
    }
}

template <class T, int C>
void split(const T *src, int srcStep, T *const *planes, int planeStep, int w, int h)
{
    T *rows[C];
    for (int k = 0; k < C; ++k) rows[k] = planes[k];
    for (int y = 0; y < h; ++y) {
        split_span<T, C>(src, rows, 0, w);
        src = advance(src, srcStep);
        for (int k = 0; k < C; ++k) rows[k] = advance(rows[k], planeStep);
    }
}

template <class T, int C>
void merge(const T *const *planes, int planeStep, T *dst, int dstStep, int w, int h)
{
    const T *rows[C];
    for (int k = 0; k < C; ++k) rows[k] = planes[k];
    for (int y = 0; y < h; ++y) {
        merge_span<T, C>(rows, dst, 0, w);
        for (int k = 0; k < C; ++k) rows[k] = advance(rows[k], planeStep);
        dst = advance(dst, dstStep);
    }
}

ZYLCV_COPY_INSTANTIATE_ALL

}  // namespace zylcv::portable

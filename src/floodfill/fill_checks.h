// Argument checks and work-buffer sizes of the exported fills, shared by the value and gradient
// fills.
#ifndef ZYLCV_FLOODFILL_FILL_CHECKS_H
#define ZYLCV_FLOODFILL_FILL_CHECKS_H

#include "span_stack.h"

namespace zylcv::floodfill {

// Buffer sizes of a ROI (width and height >= 1), in 64 bits. The stack takes width * height / 4
// records, (width * height * 24) / 4 bytes; the size queries refuse a total that a Zyl32s cannot
// hold, so these counts never wrap into a small buffer.
inline std::int64_t roi_pixels(ZyliSize roi) { return std::int64_t(roi.width) * roi.height; }
inline std::int64_t stack_bytes(ZyliSize roi) { return size_mul(roi_pixels(roi), kSpanBytes) / 4; }
// Records a fill may keep in the buffer: the queried stack bytes / 24 whenever the query gives a
// size (larger ROIs are held at what the record counter can count).
inline std::uint32_t stack_capacity(ZyliSize roi)
{
    const std::int64_t n = roi_pixels(roi) / 4;
    return n > std::int64_t(UINT32_MAX) ? UINT32_MAX : std::uint32_t(n);
}
// Visit-mask bytes of the gradient fills: one byte per pixel plus a one-pixel frame.
inline std::int64_t mask_bytes(ZyliSize roi) { return (roi.width + 2LL) * (roi.height + 2LL); }

// Checks shared by every fill, in order: pointers, step, size, 32f step alignment, seed.
template <class T>
ZylStatus check_fill(const T *img, int step, ZyliSize roi, ZyliPoint seed, const void *region,
                     const void *buffer)
{
    if (!img || !region || !buffer) return zylStatusNullPtr;
    if (step < 1) return zylStatusBadStep;
    if (roi.width < 1 || roi.height < 1) return zylStatusBadSize;
    if (std::is_same_v<T, Zyl32f> && step % 4 != 0) return zylStatusStepNotAligned;
    if (seed.x < 0 || seed.x >= roi.width || seed.y < 0 || seed.y >= roi.height)
        return zylStatusOutOfRange;
    return zylStatusOk;
}

// Size queries: the size first, then the result pointer.
inline ZylStatus check_query(ZyliSize roi, const Zyl32s *pSize)
{
    if (roi.width < 1 || roi.height < 1) return zylStatusBadSize;
    if (!pSize) return zylStatusNullPtr;
    return zylStatusOk;
}

}  // namespace zylcv::floodfill

#endif

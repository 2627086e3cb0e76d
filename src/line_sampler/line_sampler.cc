// Line sampler: the pixels of the digital line from pt1 to pt2, both included, copied one after
// another into the caller's array. The line is traced on pixel addresses alone with an integer
// error term (midpoint rule, ties towards pt1); no coordinate is recomputed along the way.
#include "core/internal.h"

using namespace zylcv;

namespace {

// The line iterator: current address, error term and the two address increments.
struct LineIterator {
    std::uintptr_t ptr;                 // address of the current pixel
    std::int32_t err;                   // error term, starts at M
    std::int32_t twoM;                  // 2 * major-axis length
    std::int32_t twoMinor;              // 2 * minor-axis length
    std::int32_t minorStep, majorStep;  // address increments along each axis
    std::int32_t count;                 // samples: M + 1

    // Per sample: one subtraction, one comparison, one or two additions; the minor step is taken
    // when the error goes negative.
    void next()
    {
        err -= twoMinor;
        if (err < 0) {
            err += twoM;
            ptr += std::uintptr_t(std::intptr_t(minorStep));
        }
        ptr += std::uintptr_t(std::intptr_t(majorStep));
    }
};

// Sets the iterator up for pixels of bt_pix bytes. Fails (with its own code, which the exported
// functions replace) when a row does not fit in the step or an end point is outside the image;
// negative coordinates fail as the unsigned comparison makes them huge.
ZylStatus init_line(LineIterator &it, const void *img, int step, ZyliSize size, ZyliPoint pt1,
                    ZyliPoint pt2, int bt_pix)
{
    // The assertion's text is reported as written: keep its spelling.
    // clang-format off
    ZYLCV_ASSERT(bt_pix == 1 || bt_pix == 3 || bt_pix == ((int)sizeof(Zyl32f)) || bt_pix == 3*((int)sizeof(Zyl32f)), "src/zycvsamplers");
    // clang-format on
    if (std::int64_t(step) < std::int64_t(size.width) * bt_pix) return zylStatusBadStep;
    const auto w = unsigned(size.width), h = unsigned(size.height);
    if (unsigned(pt1.x) >= w || unsigned(pt2.x) >= w || unsigned(pt1.y) >= h ||
        unsigned(pt2.y) >= h)
        return zylStatusOutOfRange;

    int dx = pt2.x - pt1.x, dy = pt2.y - pt1.y;
    // A zero difference steps forwards.
    const int xStep = dx < 0 ? -bt_pix : bt_pix, yStep = dy < 0 ? -step : step;
    dx = dx < 0 ? -dx : dx;
    dy = dy < 0 ? -dy : dy;
    ZYLCV_ASSERT(dx >= 0 && dy >= 0, "src/zycvsamplers");
    int major, minor;
    if (dx <= dy) major = dy, minor = dx, it.majorStep = yStep, it.minorStep = xStep;
    else major = dx, minor = dy, it.majorStep = xStep, it.minorStep = yStep;

    it.ptr = reinterpret_cast<std::uintptr_t>(img) + std::uintptr_t(std::intptr_t(pt1.y) * step) +
             std::uintptr_t(std::intptr_t(pt1.x) * bt_pix);
    it.err = major;
    it.twoM = 2 * major;
    it.twoMinor = 2 * minor;
    it.count = major + 1;
    return zylStatusOk;
}

// Elements are copied by their bit patterns (floats included, NaN payloads untouched).
template <class T> struct Bits;
template <> struct Bits<Zyl8u> {
    using type = std::uint8_t;
};
template <> struct Bits<Zyl32f> {
    using type = std::uint32_t __attribute__((may_alias));
};

// Per step: four one-channel samples, or one three-channel sample; then sample by sample.
template <class T, int C> void copy_line(LineIterator it, T *pDst)
{
    using E = typename Bits<T>::type;
    E *d = reinterpret_cast<E *>(pDst);
    const int n = it.count;
    auto px = [&]() { return reinterpret_cast<const E *>(it.ptr); };
    int k = 0;
    if constexpr (C == 1) {
        for (; k + 4 <= n; k += 4) {
            d[k] = *px();
            it.next();
            d[k + 1] = *px();
            it.next();
            d[k + 2] = *px();
            it.next();
            d[k + 3] = *px();
            it.next();
        }
        for (; k < n; ++k) {
            d[k] = *px();
            it.next();
        }
    } else {
        // Three elements per sample: the destination advances by pointer, since 3 * k passes
        // 2^31 for lines longer than 715827882 pixels.
        for (; k < n; ++k, d += 3) {
            const E *s = px();
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            it.next();
        }
    }
}

// Pointers, step, size, then (32f) step alignment; a line that cannot be set up is one error.
template <class T, int C>
ZylStatus sample_line(const T *pSrc, int srcStep, ZyliSize roiSize, T *pDst, ZyliPoint pt1,
                      ZyliPoint pt2)
{
    if (!pSrc || !pDst) return zylStatusNullPtr;
    if (srcStep < 1) return zylStatusBadStep;
    if (roiSize.width < 1 || roiSize.height < 1) return zylStatusBadSize;
    if (std::is_same_v<T, Zyl32f> && srcStep % 4 != 0) return zylStatusStepNotAligned;
    LineIterator it;
    if (init_line(it, pSrc, srcStep, roiSize, pt1, pt2, C * int(sizeof(T))) != zylStatusOk)
        return zylStatusError;
    copy_line<T, C>(it, pDst);
    return zylStatusOk;
}

}  // namespace

// The exported members, one per element type and channel count.
#define ZYLCV_SAMPLE_LINE(NAME, T, C)                                                              \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, ZyliSize roiSize, T *pDst,             \
                             ZyliPoint pt1, ZyliPoint pt2)                                         \
    {                                                                                              \
        return sample_line<T, C>(pSrc, srcStep, roiSize, pDst, pt1, pt2);                          \
    }
ZYLCV_SAMPLE_LINE(zyliSampleLine_8u_C1R, Zyl8u, 1)
ZYLCV_SAMPLE_LINE(zyliSampleLine_8u_C3R, Zyl8u, 3)
ZYLCV_SAMPLE_LINE(zyliSampleLine_32f_C1R, Zyl32f, 1)
ZYLCV_SAMPLE_LINE(zyliSampleLine_32f_C3R, Zyl32f, 3)

// Corner eigen-analysis: eigenvalues and eigenvectors, or the smaller eigenvalue, of the gradient
// covariance summed over a block around each pixel, and the work-buffer size queries.
//
// The gradients come from two Sobel filter states and the block sums from three box-sum states,
// made on entry and freed before return. The image goes through them in strips, so that the
// caller's buffer holds only R + 1 rows per product, R = max(apertureSize, blockSize, 7): three
// areas' worth of R + 1 rows of 4*width bytes, one per product, each strip's gradients and
// products at most R rows per product (the row plan is in analyse()).
#include "corner_eigen.h"

using namespace zylcv;

namespace {

bool odd_size_3_to_7(int k) { return k == 3 || k == 5 || k == 7; }

int window_rows(int apertureSize, int blockSize)
{
    int r = apertureSize > blockSize ? apertureSize : blockSize;
    return r > 7 ? r : 7;
}

// Buffer bytes: 12 * width * (R + 1), three areas of R + 1 rows of 4 * width bytes.
std::int64_t buffer_bytes(int width, int apertureSize, int blockSize)
{
    return 12 * std::int64_t(width) * (window_rows(apertureSize, blockSize) + 1);
}

ZylStatus get_size(Zyl32s roiWidth, Zyl32s apertureSize, Zyl32s blockSize, Zyl32s *pBufferSize)
{
    if (roiWidth < 1 || !odd_size_3_to_7(apertureSize) || !odd_size_3_to_7(blockSize))
        return zylStatusBadSize;
    if (!pBufferSize) return zylStatusNullPtr;
    // A buffer of 2 GiB or more cannot be described by the 32-bit result.
    return report_buffer_size(buffer_bytes(roiWidth, apertureSize, blockSize), pBufferSize);
}

// 1 / (255 * 4^(apertureSize-1) * blockSize^2) in single precision: 2^(apertureSize-1) by
// doubling 1.0, the product formed as ((255 * 2^(n-1)) * blockSize) * blockSize * 2^(n-1).
Zyl32f scale_of(int apertureSize, int blockSize)
{
    Zyl32f pow2 = 1.0f;
    for (int i = 1; i < apertureSize; ++i) pow2 = pow2 + pow2;
    Zyl32f prod = 255.0f * pow2;
    prod = prod * Zyl32f(blockSize);
    prod = prod * Zyl32f(blockSize);
    prod = prod * pow2;
    return 1.0f / prod;
}

// The source types: the Sobel filter of each, its gradient type and the data type of its
// states. The filter states refuse a source of another type, so 8s images get 8s states (their
// integer kernels are those of 8u states).
template <class S> struct Source;
template <> struct Source<Zyl8u> {
    using Grad = Zyl16s;
    static constexpr ZylDataType kType = zyl8u;
    static constexpr auto sobel = zyliSobel_8u16s_C1R;
};
template <> struct Source<Zyl8s> {
    using Grad = Zyl16s;
    static constexpr ZylDataType kType = zyl8s;
    static constexpr auto sobel = zyliSobel_8s16s_C1R;
};
template <> struct Source<Zyl32f> {
    using Grad = Zyl32f;
    static constexpr ZylDataType kType = zyl32f;
    static constexpr auto sobel = zyliSobel_32f_C1R;
};

using corner_eigen::Output;

// The five filter states of one call: Dx and Dy, and the box sums of the three products.
struct States {
    ZyliConvState *dx = nullptr, *dy = nullptr, *sum[3] = {nullptr, nullptr, nullptr};

    // Makes all five, or none: after a failed allocation the ones made are freed again.
    ZylStatus make(int width, ZylDataType type, int apertureSize, int blockSize)
    {
        bool ok = zyliSobelInitAlloc(width, type, apertureSize, 0, 1, 0, &dx) == zylStatusOk &&
                  zyliSobelInitAlloc(width, type, apertureSize, 0, 0, 1, &dy) == zylStatusOk;
        for (int i = 0; i < 3 && ok; ++i)
            ok = zyliBlurInitAlloc(width, zyl32f, blockSize, &sum[i]) == zylStatusOk;
        if (ok) return zylStatusOk;
        free();
        return zylStatusNoMemory;
    }
    void free()
    {
        zyliConvolFree(&dx);
        zyliConvolFree(&dy);
        for (auto &s : sum) zyliConvolFree(&s);
    }
};

template <class S, Output O>
ZylStatus analyse(const S *pSrc, int srcStep, Zyl32f *pDst, int dstStep, ZyliSize roi,
                  int apertureSize, int blockSize, Zyl8u *pBuffer)
{
    if (!pSrc || !pDst || !pBuffer) return zylStatusNullPtr;
    const std::int64_t w = roi.width;
    const int dstFloats = O == Output::ValsVecs ? 6 : 1;
    // A 32f source step that is not a whole number of pixels is refused with the other step
    // faults: the Sobel filter would refuse it and leave the buffer unfilled.
    if (roi.width < 1 || roi.height < 1 || srcStep < w * std::int64_t(sizeof(S)) ||
        dstStep < 4 * dstFloats * w || dstStep % 4 != 0 || srcStep % int(sizeof(S)) != 0 ||
        !odd_size_3_to_7(apertureSize) || !odd_size_3_to_7(blockSize))
        return zylStatusBadSize;

    States st;
    if (st.make(roi.width, Source<S>::kType, apertureSize, blockSize) != zylStatusOk)
        return zylStatusNoMemory;

    using Grad = typename Source<S>::Grad;
    const int width = roi.width, height = roi.height;
    const int R = window_rows(apertureSize, blockSize);
    const int rowBytes = 4 * width;
    // Rows of the buffer, 3R + 3 in all. A box sum may take two source rows side by side and
    // write an output row while it still reads the source row below it, so every output row
    // lies at least two rows above the source row that completes it: the sums of each product
    // start two rows above its source, on rows that are free or that the box sum above has
    // read and not written.
    //   rows 2 .. R+1         Dx, then Dx*Dx          sums from row 0
    //   rows R+2 .. 2R+1      Dx*Dy                   sums from row R
    //   row 2R+2              free
    //   rows 2R+3 .. 3R+2     Dy, then Dy*Dy          sums from row 2R+1
    auto row = [&](int r) {
        return reinterpret_cast<Zyl32f *>(pBuffer + std::ptrdiff_t(r) * rowBytes);
    };
    Zyl32f *const xx = row(2), *const xy = row(R + 2), *const yy = row(2 * R + 3);
    Zyl32f *const sums[3] = {row(0), row(R), row(2 * R + 1)};
    const Zyl32f scale = scale_of(apertureSize, blockSize);

    // One strip: the gradients, their products in place, the box sums, then the output rows
    // that the sums complete.
    auto strip = [&](const S *src, int n, ZylStripRole role) {
        ZyliSize gx{width, n}, gy{width, n};
        Source<S>::sobel(src, srcStep, reinterpret_cast<Grad *>(xx), rowBytes, &gx, st.dx, role);
        Source<S>::sobel(src, srcStep, reinterpret_cast<Grad *>(yy), rowBytes, &gy, st.dy, role);
        const int g = gx.height;
        kernels::products<Grad>(xx, yy, xy, rowBytes, width, g);
        int out = 0;
        Zyl32f *const products[3] = {xx, xy, yy};
        for (int i = 0; i < 3; ++i) {
            ZyliSize b{width, g};
            zyliBlur_32f_C1R(products[i], rowBytes, sums[i], rowBytes, &b, st.sum[i], role);
            out = b.height;
        }
        kernels::eigen<O>(sums[0], sums[1], sums[2], rowBytes, pDst, dstStep, width, out, scale);
        pDst = advance(pDst, std::ptrdiff_t(out) * dstStep);
    };

    const int ka = apertureSize / 2, kb = blockSize / 2;
    if (height < ka + kb + 1) {
        // Too short for a first strip that fills both windows: one whole-image pass, whose
        // gradients (at most 6 rows) fit the R rows of each product.
        strip(pSrc, height, zylStripWhole);
    } else {
        // First strip of R + ka rows (its gradients fill R rows), middle strips of R rows while
        // the rows left, with their bottom border, would give more than R rows, then the rest.
        int n = R + ka < height - 1 ? R + ka : height - 1;
        strip(pSrc, n, zylStripFirst);
        const S *src = advance(pSrc, std::ptrdiff_t(n) * srcStep);
        int left = height - n;
        while (R < kb + ka + left) {
            n = R < left - 1 ? R : left - 1;
            strip(src, n, zylStripMiddle);
            src = advance(src, std::ptrdiff_t(n) * srcStep);
            left -= n;
        }
        strip(src, left, zylStripLast);
    }
    st.free();
    return zylStatusOk;
}

}  // namespace

// The six image functions: source type S, output O.
#define ZYLCV_CORNER_EIGEN(name, S, O)                                                             \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,          \
                             ZyliSize roiSize, Zyl32s apertureSize, Zyl32s blockSize,              \
                             Zyl8u *pBuffer)                                                       \
    {                                                                                              \
        return analyse<S, Output::O>(pSrc, srcStep, pDst, dstStep, roiSize, apertureSize,          \
                                     blockSize, pBuffer);                                          \
    }
ZYLCV_CORNER_EIGEN(zyliEigenValsVecs_8u32f_C1R, Zyl8u, ValsVecs)
ZYLCV_CORNER_EIGEN(zyliEigenValsVecs_8s32f_C1R, Zyl8s, ValsVecs)
ZYLCV_CORNER_EIGEN(zyliEigenValsVecs_32f_C1R, Zyl32f, ValsVecs)
ZYLCV_CORNER_EIGEN(zyliMinEigenVal_8u32f_C1R, Zyl8u, MinVal)
ZYLCV_CORNER_EIGEN(zyliMinEigenVal_8s32f_C1R, Zyl8s, MinVal)
ZYLCV_CORNER_EIGEN(zyliMinEigenVal_32f_C1R, Zyl32f, MinVal)

ZYLCV_API ZylStatus zyliEigenValsVecsGetSize(Zyl32s roiWidth, Zyl32s apertureSize, Zyl32s blockSize,
                                             Zyl32s *pBufferSize)
{
    return get_size(roiWidth, apertureSize, blockSize, pBufferSize);
}

ZYLCV_API ZylStatus zyliMinEigenValGetSize(Zyl32s roiWidth, Zyl32s apertureSize, Zyl32s blockSize,
                                           Zyl32s *pBufferSize)
{
    return get_size(roiWidth, apertureSize, blockSize, pBufferSize);
}

// Morphology: the state constructor and destructor, and erosion and dilation by strips with
// rectangle, cross and mask (or ellipse) elements.
//
// Changing the ROI width within a sequence: a middle or last strip whose width differs from the
// width of the rows the state holds is refused with zylStatusBadSize and changes nothing, since
// those rows were bordered and filtered at the old width. Any width up to the state's roiWidth
// may start a new sequence (whole image or first strip).
#include "morph.h"

using namespace zylcv;

namespace {

// Nearest integer, ties to even, of a non-negative double below 2^52: adding and removing 2^52
// leaves the rounding to the addition.
int round_even(double v) { return int((v + 0x1p52) - 0x1p52); }

// Cell c of the mask area: 0xFF in the mask and 0x00 in the inverted mask for a member, the
// complement for others; `wide` cells (8u) repeat their byte 8 times.
void set_cell(ZyliMorphState &st, std::int64_t c, bool member, bool wide)
{
    const int n = wide ? 8 : 1;
    for (int b = 0; b < n; ++b) {
        st.pMask[c * n + b] = member ? 0xFF : 0x00;
        st.pMaskInv[c * n + b] = member ? 0x00 : 0xFF;
    }
}

// The caller's cells (nonzero = member) or an ellipse inscribed in the rectangle, generated in
// double precision: for each row pair j and maskHeight - 1 - j above the middle, the cells
// rx - h .. rx + h (clamped to the rectangle) with h = round(sqrt(t / ry^2) * rx) and
// t = ry^2 - (ry - j)^2. The middle row of an odd height is the row j = ry would give, the whole
// width, so that the element always holds its centre (a height-1 ellipse is one full row).
void build_mask(ZyliMorphState &st, const Zyl32s *caller, bool wide)
{
    const int mW = st.maskWidth, mH = st.maskHeight;
    const std::int64_t area = std::int64_t(mW) * mH;
    for (std::int64_t c = 0; c < area; ++c) set_cell(st, c, caller && caller[c] != 0, wide);
    if (caller) return;
    const int rx = mW / 2, ry = mH / 2;
    const double k = 1.0 / (double(ry) * double(ry));
    for (int j = 0; j < ry; ++j) {
        const std::int64_t t = std::int64_t(ry) * ry - std::int64_t(ry - j) * (ry - j);
        const int h = round_even(__builtin_sqrt(double(t) * k) * double(rx));
        const int left = rx - h > 0 ? rx - h : 0, right = rx + h < mW - 1 ? rx + h : mW - 1;
        for (int x = left; x <= right; ++x) {
            set_cell(st, std::int64_t(j) * mW + x, true, wide);
            set_cell(st, std::int64_t(mH - 1 - j) * mW + x, true, wide);
        }
    }
    if (mH % 2 == 1)
        for (int x = 0; x < mW; ++x) set_cell(st, std::int64_t(ry) * mW + x, true, wide);
}

bool valid_role(int role)
{
    return role == zylStripWhole || role == zylStripFirst || role == zylStripLast ||
           role == zylStripMiddle;
}

// One strip member: the checks in order, then the kernel of its pixel type and operation.
template <class T, int C, int Kind, bool Dilate>
ZylStatus strip(const T *pSrc, Zyl32s srcStep, T *pDst, Zyl32s dstStep, ZyliSize *pRoiSize,
                ZyliMorphState *pState, int role)
{
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    if (f32 && (srcStep % 4 != 0 || dstStep % 4 != 0)) return zylStatusStepNotAligned;
    if (!pSrc || !pDst || !pState || !pRoiSize) return zylStatusNullPtr;
    ZyliMorphState &st = *pState;
    const int w = pRoiSize->width, h = pRoiSize->height;
    if (w <= 0 || w > st.roiWidth || h < 0) return zylStatusBadSize;
    if (st.dataType != (f32 ? zyl32f : zyl8u) || st.nChannels != C || st.shape != Kind)
        return zylStatusContextMismatch;
    const std::int64_t rowBytes = std::int64_t(w) * C * std::int64_t(sizeof(T));
    if (rowBytes > srcStep || rowBytes > dstStep) return zylStatusBadStep;
    if (!valid_role(role)) return zylStatusOutOfRange;
    // A middle or last strip continues a sequence; before any has started there is nothing to
    // continue. The ring itself may be empty in a running sequence (a one-row element holds no
    // rows between calls), so the test is whether rows of some width were ever taken in.
    const bool continues = role == zylStripLast || role == zylStripMiddle;
    if ((continues && morph::held_width(st) == 0) || (h == 0 && role != zylStripLast)) {
        pRoiSize->height = 0;
        return zylStatusNoOperation;
    }
    if (continues && w != morph::held_width(st)) return zylStatusBadSize;
    const int written =
        kernels::morph_strip<Kind, Dilate>(pSrc, srcStep, pDst, dstStep, w, h, st, role);
    morph::held_width(st) = w;
    pRoiSize->height = written;
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliMorphologyInitAlloc(Zyl32s roiWidth, ZylDataType dataType, Zyl32s nChannels,
                                            ZyliSize maskSize, ZyliPoint anchor, Zyl32s shape,
                                            const Zyl32s *pMask, ZyliMorphState **ppState)
{
    if (!ppState) return zylStatusNullPtr;
    if (roiWidth <= 0 || maskSize.width <= 0 || maskSize.height <= 0) return zylStatusBadSize;
    if (dataType != zyl8u && dataType != zyl32f) return zylStatusUnsupported;
    if (nChannels != 1 && nChannels != 3 && nChannels != 4) return zylStatusUnsupported;
    if (std::uint32_t(anchor.x) >= std::uint32_t(maskSize.width) ||
        std::uint32_t(anchor.y) >= std::uint32_t(maskSize.height))
        return zylStatusOutOfRange;
    if (shape != zylMorphShapeRect && shape != zylMorphShapeCross &&
        shape != zylMorphShapeEllipse && shape != zylMorphShapeMask)
        return zylStatusOutOfRange;
    if (shape == zylMorphShapeMask && !pMask) return zylStatusNullPtr;

    *ppState = nullptr;
    const bool hasMask = shape == zylMorphShapeEllipse || shape == zylMorphShapeMask;
    const morph::Layout l = morph::layout_of(roiWidth, dataType, nChannels, maskSize.width,
                                             maskSize.height, anchor.x, hasMask);
    // A block that a 32-bit length cannot express is an allocation failure too.
    if (l.request > 0x7FFFFFFF) return zylStatusNoMemory;
    auto block = static_cast<Zyl8u *>(_zycvAlloc(Zyl32s(l.request)));
    if (!block) return zylStatusNoMemory;

    auto st = reinterpret_cast<ZyliMorphState *>(block);
    st->maskWidth = maskSize.width;
    st->maskHeight = maskSize.height;
    st->anchorX = anchor.x;
    st->anchorY = anchor.y;
    st->shape = hasMask ? morph::kMask : shape;
    st->pRowTable = reinterpret_cast<Zyl8u **>(block + l.tableAt);
    st->pMask = hasMask ? block + l.maskAt : reinterpret_cast<Zyl8u *>(st->pRowTable);
    st->pMaskInv = hasMask ? block + l.maskAt + l.maskArea / 2 : st->pMask;
    st->roiWidth = roiWidth;
    st->dataType = dataType;
    st->nChannels = nChannels;
    st->pRows = block + l.firstRow;
    st->rowStride = Zyl32s(l.rowStride);
    st->rowsHeld = 0;
    st->pScratch = block + l.scratch;
    morph::held_width(*st) = 0;
    if (hasMask) build_mask(*st, shape == zylMorphShapeMask ? pMask : nullptr, dataType == zyl8u);
    *ppState = st;
    return zylStatusOk;
}

ZYLCV_API ZylStatus zyliMorphologyFree(ZyliMorphState **ppState)
{
    if (!ppState) return zylStatusNullPtr;
    _zycvFree_(reinterpret_cast<void **>(ppState));
    return zylStatusOk;
}

// The 36 members: {Erode, Dilate} x {Rect, Cross, mask} x {8u, 32f} x {C1, C3, C4}.
#define ZYLCV_MORPH_MEMBER(name, T, C, kind, dilate)                                               \
    ZYLCV_API ZylStatus name(const T *pSrc, Zyl32s srcStep, T *pDst, Zyl32s dstStep,               \
                             ZyliSize *pRoiSize, ZyliMorphState *pState, ZylStripRole stripRole)   \
    {                                                                                              \
        return strip<T, C, kind, dilate>(pSrc, srcStep, pDst, dstStep, pRoiSize, pState,           \
                                         stripRole);                                               \
    }
#define ZYLCV_MORPH_CHANNELS(op, kindName, type, T, kind, dilate)                                  \
    ZYLCV_MORPH_MEMBER(zyli##op##Strip_##kindName##type##_C1R, T, 1, kind, dilate)                 \
    ZYLCV_MORPH_MEMBER(zyli##op##Strip_##kindName##type##_C3R, T, 3, kind, dilate)                 \
    ZYLCV_MORPH_MEMBER(zyli##op##Strip_##kindName##type##_C4R, T, 4, kind, dilate)
#define ZYLCV_MORPH_KINDS(op, type, T, dilate)                                                     \
    ZYLCV_MORPH_CHANNELS(op, Rect_, type, T, morph::kRect, dilate)                                 \
    ZYLCV_MORPH_CHANNELS(op, Cross_, type, T, morph::kCross, dilate)                               \
    ZYLCV_MORPH_CHANNELS(op, , type, T, morph::kMask, dilate)

ZYLCV_MORPH_KINDS(Erode, 8u, Zyl8u, false)
ZYLCV_MORPH_KINDS(Dilate, 8u, Zyl8u, true)
ZYLCV_MORPH_KINDS(Erode, 32f, Zyl32f, false)
ZYLCV_MORPH_KINDS(Dilate, 32f, Zyl32f, true)

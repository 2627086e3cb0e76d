// Norms of an image, of a difference of two images and relative norms, over the pixels whose
// mask byte is set, of one-channel images or of one channel of three.
#include "norm.h"

using namespace zylcv;
using namespace zylcv::norm;

namespace {

// Pointers, then steps, then size, then the channel of interest, then the alignment of 32f
// source steps (never of the mask step); only then the one kernel call and the one store.
// `coi` is 0 for the one-channel forms.
template <NormKind K, NormTerm R, class T>
ZylStatus norm_call(const T *a, int aStep, const T *b, int bStep, const Zyl8u *mask, int maskStep,
                    ZyliSize roi, bool coiForm, int coi, Zyl64f *pNorm)
{
    constexpr bool two = R != NormTerm::Value;
    if (!a || (two && !b) || !mask || !pNorm) return zylStatusNullPtr;
    if (aStep < 1 || (two && bStep < 1) || maskStep < 1) return zylStatusBadStep;
    if (roi.width < 1 || roi.height < 1) return zylStatusBadSize;
    if (coiForm && (coi < 1 || coi > 3)) return zylStatusBadChannelOfInterest;
    if (std::is_same_v<T, Zyl32f> && (aStep % 4 != 0 || (two && bStep % 4 != 0)))
        return zylStatusStepNotAligned;
    *pNorm = kernels::masked_norm<K, R>(a, aStep, b, bStep, mask, maskStep, roi.width, roi.height,
                                        coiForm ? coi : 0);
    return zylStatusOk;
}

}  // namespace

// The exported members differ only in kind, term, element type and layout.
#define ZYLCV_NORM_OF_IMAGE(KIND, TY, T)                                                           \
    ZYLCV_API ZylStatus zyliNorm_##KIND##_##TY##_C1MR(const T *pSrc, Zyl32s srcStep,               \
                                                      const Zyl8u *pMask, Zyl32s maskStep,         \
                                                      ZyliSize roiSize, Zyl64f *pNorm)             \
    {                                                                                              \
        return norm_call<NormKind::KIND, NormTerm::Value, T>(pSrc, srcStep, nullptr, 0, pMask,     \
                                                             maskStep, roiSize, false, 0, pNorm);  \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliNorm_##KIND##_##TY##_C3CMR(                                            \
        const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, ZyliSize roiSize,      \
        Zyl32s coi, Zyl64f *pNorm)                                                                 \
    {                                                                                              \
        return norm_call<NormKind::KIND, NormTerm::Value, T>(pSrc, srcStep, nullptr, 0, pMask,     \
                                                             maskStep, roiSize, true, coi, pNorm); \
    }

#define ZYLCV_NORM_OF_TWO(NAME, TERM, KIND, TY, T)                                                 \
    ZYLCV_API ZylStatus zyli##NAME##_##KIND##_##TY##_C1MR(                                         \
        const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step, const Zyl8u *pMask,      \
        Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm)                                          \
    {                                                                                              \
        return norm_call<NormKind::KIND, NormTerm::TERM>(pSrc1, src1Step, pSrc2, src2Step, pMask,  \
                                                         maskStep, roiSize, false, 0, pNorm);      \
    }                                                                                              \
    ZYLCV_API ZylStatus zyli##NAME##_##KIND##_##TY##_C3CMR(                                        \
        const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step, const Zyl8u *pMask,      \
        Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm)                              \
    {                                                                                              \
        return norm_call<NormKind::KIND, NormTerm::TERM>(pSrc1, src1Step, pSrc2, src2Step, pMask,  \
                                                         maskStep, roiSize, true, coi, pNorm);     \
    }

#define ZYLCV_NORM_MEMBERS(KIND, TY, T)                                                            \
    ZYLCV_NORM_OF_IMAGE(KIND, TY, T)                                                               \
    ZYLCV_NORM_OF_TWO(NormDiff, Diff, KIND, TY, T)                                                 \
    ZYLCV_NORM_OF_TWO(NormRel, Rel, KIND, TY, T)

ZYLCV_NORM_MEMBERS(Inf, 8u, Zyl8u)
ZYLCV_NORM_MEMBERS(Inf, 8s, Zyl8s)
ZYLCV_NORM_MEMBERS(Inf, 32f, Zyl32f)
ZYLCV_NORM_MEMBERS(L1, 8u, Zyl8u)
ZYLCV_NORM_MEMBERS(L1, 8s, Zyl8s)
ZYLCV_NORM_MEMBERS(L1, 32f, Zyl32f)
ZYLCV_NORM_MEMBERS(L2, 8u, Zyl8u)
ZYLCV_NORM_MEMBERS(L2, 8s, Zyl8s)
ZYLCV_NORM_MEMBERS(L2, 32f, Zyl32f)

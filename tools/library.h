// The library calls of the zylcv tool that belong to families which a given build may not have
// yet are referenced weakly: a missing one resolves to null, and the tool then reports that the
// operation is not available instead of failing to link. The tool and its tests link the
// library's object files directly, so every family that exists is linked in.
#pragma once

#include <string>

#include "zylcv.h"

#pragma weak zyliCannyGetSize
#pragma weak zyliCanny_16s8u_C1R
#pragma weak zyliMorphologyInitAlloc
#pragma weak zyliMorphologyFree
#pragma weak zyliErodeStrip_Rect_8u_C1R
#pragma weak zyliErodeStrip_Rect_8u_C3R
#pragma weak zyliErodeStrip_Cross_8u_C1R
#pragma weak zyliErodeStrip_Cross_8u_C3R
#pragma weak zyliErodeStrip_8u_C1R
#pragma weak zyliErodeStrip_8u_C3R
#pragma weak zyliDilateStrip_Rect_8u_C1R
#pragma weak zyliDilateStrip_Rect_8u_C3R
#pragma weak zyliDilateStrip_Cross_8u_C1R
#pragma weak zyliDilateStrip_Cross_8u_C3R
#pragma weak zyliDilateStrip_8u_C1R
#pragma weak zyliDilateStrip_8u_C3R
#pragma weak zyliMatchTemplate_SqDiff_8u32f_C1R
#pragma weak zyliMatchTemplate_SqDiffNormed_8u32f_C1R
#pragma weak zyliMatchTemplate_Corr_8u32f_C1R
#pragma weak zyliMatchTemplate_CorrNormed_8u32f_C1R
#pragma weak zyliMatchTemplate_Coeff_8u32f_C1R
#pragma weak zyliMatchTemplate_CoeffNormed_8u32f_C1R
#pragma weak zyliMatchTemplateGetBufSize_SqDiff
#pragma weak zyliMatchTemplateGetBufSize_SqDiffNormed
#pragma weak zyliMatchTemplateGetBufSize_Corr
#pragma weak zyliMatchTemplateGetBufSize_CorrNormed
#pragma weak zyliMatchTemplateGetBufSize_Coeff
#pragma weak zyliMatchTemplateGetBufSize_CoeffNormed
#pragma weak zyliDistanceTransform_3x3_8u32f_C1R
#pragma weak zyliDistanceTransform_5x5_8u32f_C1R
#pragma weak zyliGetDistanceTransformMask
#pragma weak zyliFloodFillGetSize
#pragma weak zyliFloodFillGetSize_Grad
#pragma weak zyliFloodFill_4Con_8u_C1IR
#pragma weak zyliFloodFill_8Con_8u_C1IR
#pragma weak zyliFloodFill_Grad4Con_8u_C1IR
#pragma weak zyliFloodFill_Grad8Con_8u_C1IR

namespace zylcv_tool {

// Operation name → whether every library function it calls is present in this build.
inline bool have_operation(const std::string &op)
{
    auto all = [](std::initializer_list<const void *> fns) {
        for (const void *f : fns)
            if (!f) return false;
        return true;
    };
    if (op == "canny")
        return all({(const void *)&zyliCannyGetSize, (const void *)&zyliCanny_16s8u_C1R});
    if (op == "erode" || op == "dilate")
        return all({(const void *)&zyliMorphologyInitAlloc, (const void *)&zyliMorphologyFree,
                    (const void *)&zyliErodeStrip_Rect_8u_C1R, (const void *)&zyliErodeStrip_Rect_8u_C3R,
                    (const void *)&zyliErodeStrip_Cross_8u_C1R, (const void *)&zyliErodeStrip_Cross_8u_C3R,
                    (const void *)&zyliErodeStrip_8u_C1R, (const void *)&zyliErodeStrip_8u_C3R,
                    (const void *)&zyliDilateStrip_Rect_8u_C1R, (const void *)&zyliDilateStrip_Rect_8u_C3R,
                    (const void *)&zyliDilateStrip_Cross_8u_C1R, (const void *)&zyliDilateStrip_Cross_8u_C3R,
                    (const void *)&zyliDilateStrip_8u_C1R, (const void *)&zyliDilateStrip_8u_C3R});
    if (op == "match")
        return all({(const void *)&zyliMatchTemplate_SqDiff_8u32f_C1R,
                    (const void *)&zyliMatchTemplate_SqDiffNormed_8u32f_C1R,
                    (const void *)&zyliMatchTemplate_Corr_8u32f_C1R,
                    (const void *)&zyliMatchTemplate_CorrNormed_8u32f_C1R,
                    (const void *)&zyliMatchTemplate_Coeff_8u32f_C1R,
                    (const void *)&zyliMatchTemplate_CoeffNormed_8u32f_C1R,
                    (const void *)&zyliMatchTemplateGetBufSize_SqDiff,
                    (const void *)&zyliMatchTemplateGetBufSize_SqDiffNormed,
                    (const void *)&zyliMatchTemplateGetBufSize_Corr,
                    (const void *)&zyliMatchTemplateGetBufSize_CorrNormed,
                    (const void *)&zyliMatchTemplateGetBufSize_Coeff,
                    (const void *)&zyliMatchTemplateGetBufSize_CoeffNormed});
    if (op == "distance")
        return all({(const void *)&zyliDistanceTransform_3x3_8u32f_C1R,
                    (const void *)&zyliDistanceTransform_5x5_8u32f_C1R,
                    (const void *)&zyliGetDistanceTransformMask});
    if (op == "fill")
        return all({(const void *)&zyliFloodFillGetSize, (const void *)&zyliFloodFillGetSize_Grad,
                    (const void *)&zyliFloodFill_4Con_8u_C1IR, (const void *)&zyliFloodFill_8Con_8u_C1IR,
                    (const void *)&zyliFloodFill_Grad4Con_8u_C1IR,
                    (const void *)&zyliFloodFill_Grad8Con_8u_C1IR});
    return true;
}

}  // namespace zylcv_tool

/* zylcv: low-level computer-vision primitives with a flat C interface.
 *
 * Every image is handed over as (pointer to the first ROI pixel, row step in bytes, ROI size).
 * Every image function returns a ZylStatus: 0 on success, a negative code on failure (a failed
 * call writes nothing), +1 when a strip call had nothing to produce. */
#ifndef ZYLCV_H
#define ZYLCV_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar and pixel types ------------------------------------------------------------ */
typedef unsigned char Zyl8u;
typedef signed char Zyl8s;
typedef short Zyl16s;
typedef int Zyl32s;
typedef float Zyl32f;
typedef double Zyl64f;
typedef long long Zyl64s;

/* Result code of every image function. */
typedef int ZylStatus;

/* The public enumerations are int-sized in C; C++ callers and the library itself see the same
 * fixed underlying type, so that any int a caller passes is a valid value of the enumeration
 * and reaches the argument checks, which refuse what is outside the set. */
#ifdef __cplusplus
#define ZYL_ENUM_BASE : int
#else
#define ZYL_ENUM_BASE
#endif

enum ZylStatusCode ZYL_ENUM_BASE {
    zylStatusOk = 0,                     /* success */
    zylStatusNoOperation = 1,            /* a strip call had no rows to produce; not an error */
    zylStatusError = -2,                 /* a set-up step failed (line sampling) */
    zylStatusBadArg = -5,                /* enumerated or numeric argument outside its set */
    zylStatusBadSize = -6,               /* ROI, mask, kernel or buffer size out of range */
    zylStatusNullPtr = -8,               /* a required pointer is null */
    zylStatusNoMemory = -9,              /* the heap refused an allocation */
    zylStatusOutOfRange = -11,           /* seed, anchor, shape or parameter out of range */
    zylStatusUnsupported = -12,          /* unsupported data type or channel count */
    zylStatusBadStep = -14,              /* row step too small */
    zylStatusContextMismatch = -17,      /* state built for another type or layout */
    zylStatusBadChannelOfInterest = -52, /* coi outside 1..3 */
    zylStatusBadChannels = -53,          /* channel count other than 1 or 3 */
    zylStatusStepNotAligned = -108       /* step not a multiple of the element size */
};

/* Run-time pixel type code. */
typedef enum ZylDataType ZYL_ENUM_BASE { zyl8u = 1, zyl8s = 2, zyl32f = 9 } ZylDataType;

/* Role of one call in a sequence of horizontal strips. */
typedef enum ZylStripRole ZYL_ENUM_BASE {
    zylStripWhole = 0,
    zylStripFirst = 1,
    zylStripLast = 2,
    zylStripMiddle = 4
} ZylStripRole;

/* ---- records ----------------------------------------------------------------------------- */
typedef struct ZyliSize {
    Zyl32s width;
    Zyl32s height;
} ZyliSize;
typedef struct ZyliPoint {
    Zyl32s x;
    Zyl32s y;
} ZyliPoint;

/* Constant record that identifies the build. */
typedef struct ZylLibVersion {
    Zyl32s versionMajor;
    Zyl32s versionMinor;
    Zyl32s buildMajor;
    Zyl32s buildNumber;
    char targetTag[4];
    const char *libraryName;
    const char *versionText;
    const char *buildDateText;
} ZylLibVersion;

/* What a flood fill reports: area, value written and bounding box relative to the ROI. */
typedef struct ZyliConnectedRegion {
    Zyl64f area;
    Zyl64f value;
    Zyl32s boxX;
    Zyl32s boxY;
    Zyl32s boxWidth;
    Zyl32s boxHeight;
} ZyliConnectedRegion;

/* Structuring-element shapes of the morphology state. */
enum ZylMorphShape ZYL_ENUM_BASE {
    zylMorphShapeRect = 0,    /* every cell of the rectangle */
    zylMorphShapeCross = 1,   /* the anchor's row and column */
    zylMorphShapeEllipse = 2, /* inscribed ellipse; an odd height's middle row spans the width */
    zylMorphShapeMask = 100   /* cells given by a caller's mask */
};

/* Opaque state objects of the strip filters and of morphology. */
typedef struct ZyliConvState ZyliConvState;
typedef struct ZyliMorphState ZyliMorphState;

/* ---- memory and version ---------------------------------------------------------------- */
/* A 32-byte aligned block of at least len bytes, or null when the heap refuses. */
void *zyliAlloc(Zyl32s len);
/* The same allocator under the library's internal name. */
void *_zycvAlloc(Zyl32s len);
/* Releases the block held in *pp (if it came from the allocator) and nulls *pp. */
void _zycvFree_(void **pp);
/* The constant version record of this build; never modify or free it. */
const ZylLibVersion *zylcvGetLibVersion(void);

/* ---- constant tables --------------------------------------------------------------------- */
/* Entry i holds i - 128: index 128 + v converts an 8s or 8u v to float. */
extern const Zyl32f k4__zycv8to32f[384];
/* Row r: 0xFF at bytes j with j mod 3 == r, over 16 three-channel pixels. */
extern const Zyl8u _zycvCoiMaskd[3][48];
/* The same rows, 256-byte aligned for aligned 128-bit loads. */
extern const Zyl8u k4_zycvCoiMaskA[3][48];
/* Row r: 0xFF at bytes j with j mod 3 == r, over 8 three-channel pixels. */
extern const Zyl8u _zycvCoiMask_K4[3][24];
/* Entry b: byte 3k mod 8 is 0xFF for every set bit k of b. */
extern const Zyl8u _zycvMaskShuffTable_K4[256][8];
/* Sixteen and eight bytes of 0x80: moves 8s values to the 8u range and back. */
extern const Zyl8u _zycvAdd128d[16];
extern const Zyl8u _zycvAdd128_K4[8];

/* ---- channel copies (no validation; each returns zylStatusOk) -----------------------------
   Elements are copied unchanged, never converted, row by row; only the width x height pixels of
   each destination are written. ch is 0-based: 0..2 for three channels, 0..3 for four. */
/* Extracts channel ch (0-based) of an interleaved 3- or 4-channel image into one channel. */
ZylStatus k4_zycvCopy_8u_C3CC1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                Zyl32s width, Zyl32s height, Zyl32s ch);
ZylStatus k4_zycvCopy_8u_C4CC1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                Zyl32s width, Zyl32s height, Zyl32s ch);
ZylStatus k4_zycvCopy_32f_C3CC1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                 Zyl32s width, Zyl32s height, Zyl32s ch);
ZylStatus k4_zycvCopy_32f_C4CC1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                 Zyl32s width, Zyl32s height, Zyl32s ch);
/* Splits an interleaved image into planes that share one step. */
ZylStatus k4_zycvCopy_8u_C3P3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst0, Zyl8u *pDst1,
                               Zyl8u *pDst2, Zyl32s dstStep, Zyl32s width, Zyl32s height);
ZylStatus k4_zycvCopy_8u_C4P4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst0, Zyl8u *pDst1,
                               Zyl8u *pDst2, Zyl8u *pDst3, Zyl32s dstStep, Zyl32s width,
                               Zyl32s height);
ZylStatus k4_zycvCopy_32f_C3P3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst0, Zyl32f *pDst1,
                                Zyl32f *pDst2, Zyl32s dstStep, Zyl32s width, Zyl32s height);
ZylStatus k4_zycvCopy_32f_C4P4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst0, Zyl32f *pDst1,
                                Zyl32f *pDst2, Zyl32f *pDst3, Zyl32s dstStep, Zyl32s width,
                                Zyl32s height);
/* Interleaves planes that share one step into one image. */
ZylStatus k4_zycvCopy_8u_P3C3R(const Zyl8u *pSrc0, const Zyl8u *pSrc1, const Zyl8u *pSrc2,
                               Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep, Zyl32s width,
                               Zyl32s height);
ZylStatus k4_zycvCopy_8u_P4C4R(const Zyl8u *pSrc0, const Zyl8u *pSrc1, const Zyl8u *pSrc2,
                               const Zyl8u *pSrc3, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                               Zyl32s width, Zyl32s height);
ZylStatus k4_zycvCopy_32f_P3C3R(const Zyl32f *pSrc0, const Zyl32f *pSrc1, const Zyl32f *pSrc2,
                                Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep, Zyl32s width,
                                Zyl32s height);
ZylStatus k4_zycvCopy_32f_P4C4R(const Zyl32f *pSrc0, const Zyl32f *pSrc1, const Zyl32f *pSrc2,
                                const Zyl32f *pSrc3, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                Zyl32s width, Zyl32s height);

/* ---- absolute difference ------------------------------------------------------------------
   Reads and writes the ROI only; source and destination may be the same image. 8u: the exact
   |a - b| (no saturation can occur); the constant of zyliAbsDiffC_8u_C1R is first clamped to
   0..255 (-7 acts as 0, 300 as 255). 32f: one single-precision subtraction, then the sign bit is
   cleared: -0.0 gives +0.0, inf - inf gives a NaN without sign bit, a NaN stays a NaN. The 32f
   constant is used as given. */
/* dst = |src1 - src2| for every ROI pixel. */
ZylStatus zyliAbsDiff_8u_C1R(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                             Zyl32s src2Step, Zyl8u *pDst, Zyl32s dstStep, ZyliSize roiSize);
/* dst = |src - value|, value first clamped to 0..255. */
ZylStatus zyliAbsDiffC_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                              ZyliSize roiSize, Zyl32s value);
/* dst = src1 - src2 in single precision with the sign bit cleared; steps multiples of 4. */
ZylStatus zyliAbsDiff_32f_C1R(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                              Zyl32s src2Step, Zyl32f *pDst, Zyl32s dstStep, ZyliSize roiSize);
/* dst = src - value in single precision with the sign bit cleared; steps multiples of 4. */
ZylStatus zyliAbsDiffC_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                               ZyliSize roiSize, Zyl32f value);

/* ---- accumulators: D is a Zyl32f accumulator updated in place -----------------------------
   Reads and writes the ROI only; a width or height of 0 is accepted and touches nothing. Single
   precision, one rounding per operation (never a fused multiply-add). 8u/8s sources: the value,
   square or product is formed exactly in integers (at most 65025) and converted once, so an 8u
   255 squared adds exactly 65025.0. AddWeighted is evaluated as t = src - D, then t * alpha,
   then D + that product (not (1 - alpha) * D + alpha * src); alpha is not range-checked. Masked
   forms rewrite every pixel: an unselected one gets D + 0.0, which keeps D except that -0.0
   becomes +0.0, and in AddWeighted an infinite or NaN src - D still makes D a NaN (0 * inf). */
/* D += src. */
ZylStatus zyliAdd_8u32f_C1IR(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                             ZyliSize roiSize);
/* D += src. */
ZylStatus zyliAdd_8s32f_C1IR(const Zyl8s *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                             ZyliSize roiSize);
/* D += src where the mask is set. */
ZylStatus zyliAdd_8u32f_C1IMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                              ZyliSize roiSize);
/* D += src where the mask is set. */
ZylStatus zyliAdd_8s32f_C1IMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                              ZyliSize roiSize);
/* D += src where the mask is set. */
ZylStatus zyliAdd_32f_C1IMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                            Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize);
/* D += src * src. */
ZylStatus zyliAddSquare_8u32f_C1IR(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                   Zyl32s srcDstStep, ZyliSize roiSize);
/* D += src * src where the mask is set. */
ZylStatus zyliAddSquare_8u32f_C1IMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                    Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                    ZyliSize roiSize);
/* D += src1 * src2. */
ZylStatus zyliAddProduct_8u32f_C1IR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                    Zyl32s src2Step, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                    ZyliSize roiSize);
/* D += src1 * src2 where the mask is set. */
ZylStatus zyliAddProduct_8u32f_C1IMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                     Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                     Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize);
/* D += alpha * (src - D): running average. */
ZylStatus zyliAddWeighted_8u32f_C1IR(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                     Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f alpha);
/* D += alpha * (src - D) where the mask is set. */
ZylStatus zyliAddWeighted_8u32f_C1IMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                      Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                      ZyliSize roiSize, Zyl32f alpha);
/* D += src * src. */
ZylStatus zyliAddSquare_8s32f_C1IR(const Zyl8s *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                   Zyl32s srcDstStep, ZyliSize roiSize);
/* D += src * src where the mask is set. */
ZylStatus zyliAddSquare_8s32f_C1IMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                    Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                    ZyliSize roiSize);
/* D += src1 * src2. */
ZylStatus zyliAddProduct_8s32f_C1IR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                    Zyl32s src2Step, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                    ZyliSize roiSize);
/* D += src1 * src2 where the mask is set. */
ZylStatus zyliAddProduct_8s32f_C1IMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                     Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                     Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize);
/* D += alpha * (src - D): running average. */
ZylStatus zyliAddWeighted_8s32f_C1IR(const Zyl8s *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                     Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f alpha);
/* D += alpha * (src - D) where the mask is set. */
ZylStatus zyliAddWeighted_8s32f_C1IMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                      Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                      ZyliSize roiSize, Zyl32f alpha);
/* D += src * src. */
ZylStatus zyliAddSquare_32f_C1IR(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                 Zyl32s srcDstStep, ZyliSize roiSize);
/* D += src * src where the mask is set. */
ZylStatus zyliAddSquare_32f_C1IMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                  ZyliSize roiSize);
/* D += src1 * src2. */
ZylStatus zyliAddProduct_32f_C1IR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                  Zyl32s src2Step, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                  ZyliSize roiSize);
/* D += src1 * src2 where the mask is set. */
ZylStatus zyliAddProduct_32f_C1IMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize);
/* D += alpha * (src - D): running average. */
ZylStatus zyliAddWeighted_32f_C1IR(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                   Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f alpha);
/* D += alpha * (src - D) where the mask is set. */
ZylStatus zyliAddWeighted_32f_C1IMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                    Zyl32s maskStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                    ZyliSize roiSize, Zyl32f alpha);

/* ---- motion history ----------------------------------------------------------------------
   Per ROI pixel: a non-zero silhouette byte writes timestamp; otherwise the history value h is
   cleared to +0.0 when h < limit, limit = timestamp - mhiDuration (one single-precision
   subtraction), and kept otherwise: a value equal to the limit stays. The comparison works on
   the total order of the float bit patterns, with no float arithmetic on h: -0.0 is below +0.0
   (a limit of +0.0 clears -0.0), a NaN with the sign bit clear is above +inf and one with it set
   below -inf. mhiDuration < 0 or NaN gives zylStatusOutOfRange; width or height 0 touches
   nothing. */
/* Silhouette pixels take timestamp; others older than timestamp - mhiDuration become 0. */
ZylStatus zyliUpdateMotionHistory_8u32f_C1IR(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst,
                                             Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f timestamp,
                                             Zyl32f mhiDuration);

/* ---- mean and standard deviation (population) of one plane or one channel of interest ----
   Reads the ROI only; an unselected pixel's value is never used (a NaN under a zero mask byte
   has no effect), a selected 32f NaN makes both results NaN. 8u/8s: exact integer sums (the
   value sum in 32 bits, so exact while it fits a Zyl32s; squares in 64 bits). 32f: values and
   squares summed in double in raster order; zyliMean_32f_C1MR alone sums in single precision,
   columns in groups of eight into four partial sums (column c to sum c mod 4, row tails to sum
   0), totalled as (P0 + P2) + (P1 + P3) in double. The mean-only functions divide the sum by the
   count once (0.0 when the mask selects nothing). The others take scale = 1/n (0 for n = 0),
   mean = S * scale, var = Q * scale - mean * mean and stddev = sqrt(|var|), dividing by n, not
   n - 1: a constant region can give a tiny non-zero deviation (2^-24 for 7x7 8u pixels of 5), and
   the two means can differ in the last bit. */
/* Mean of the pixels whose mask byte is set (0.0 when none is). */
ZylStatus zyliMean_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                           ZyliSize roiSize, Zyl64f *pMean);
/* Mean of channel coi (1..3) where the mask is set. */
ZylStatus zyliMean_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                            ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean);
/* Mean and standard deviation of every pixel. */
ZylStatus zyliMean_StdDev_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl64f *pMean,
                                 Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi. */
ZylStatus zyliMean_StdDev_8u_C3CR(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                  Zyl64f *pMean, Zyl64f *pStdDev);
/* Mean and standard deviation where the mask is set. */
ZylStatus zyliMean_StdDev_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pMean,
                                  Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi where the mask is set. */
ZylStatus zyliMean_StdDev_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                   Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean,
                                   Zyl64f *pStdDev);
/* Mean of the pixels whose mask byte is set (0.0 when none is). */
ZylStatus zyliMean_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                           ZyliSize roiSize, Zyl64f *pMean);
/* Mean of channel coi (1..3) where the mask is set. */
ZylStatus zyliMean_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                            ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean);
/* Mean and standard deviation of every pixel. */
ZylStatus zyliMean_StdDev_8s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl64f *pMean,
                                 Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi. */
ZylStatus zyliMean_StdDev_8s_C3CR(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                  Zyl64f *pMean, Zyl64f *pStdDev);
/* Mean and standard deviation where the mask is set. */
ZylStatus zyliMean_StdDev_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pMean,
                                  Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi where the mask is set. */
ZylStatus zyliMean_StdDev_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                   Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean,
                                   Zyl64f *pStdDev);
/* Mean of the pixels whose mask byte is set (0.0 when none is). */
ZylStatus zyliMean_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,
                            ZyliSize roiSize, Zyl64f *pMean);
/* Mean of channel coi (1..3) where the mask is set. */
ZylStatus zyliMean_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                             Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean);
/* Mean and standard deviation of every pixel. */
ZylStatus zyliMean_StdDev_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize,
                                  Zyl64f *pMean, Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi. */
ZylStatus zyliMean_StdDev_32f_C3CR(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                   Zyl64f *pMean, Zyl64f *pStdDev);
/* Mean and standard deviation where the mask is set. */
ZylStatus zyliMean_StdDev_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                   Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pMean,
                                   Zyl64f *pStdDev);
/* Mean and standard deviation of channel coi where the mask is set. */
ZylStatus zyliMean_StdDev_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                    Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean,
                                    Zyl64f *pStdDev);

/* ---- minimum and maximum with the location of their first occurrence ---------------------
   Every result pointer is optional (null ones are skipped). Ties: the reported location is the
   first occurrence in row order (rows top to bottom, each left to right); a later equal value
   never replaces a running extreme. Minimum and maximum are searched independently. Values come
   back as Zyl32f: integers exactly, 32f with their bit pattern unchanged; locations are {x, y}
   in the ROI. 8s compares signed values. 32f compares in the total order of bit patterns:
   -0.0 below +0.0, a NaN with the sign bit clear above +inf (it is reported as the maximum), one
   with the sign bit set below -inf. A width or height of 0, or a mask that selects nothing,
   gives 0.0 for both values and (0, 0) for both locations, with zylStatusOk. */
/* Extremes of every pixel. */
ZylStatus zyliMinMaxIndx_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize,
                                Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                ZyliPoint *pMaxIndex);
/* Extremes of channel coi (1..3). */
ZylStatus zyliMinMaxIndx_8u_C3CR(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                 Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                 ZyliPoint *pMaxIndex);
/* Extremes of the pixels whose mask byte is set. */
ZylStatus zyliMinMaxIndx_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                 Zyl32s maskStep, ZyliSize roiSize, Zyl32f *pMinVal,
                                 Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);
/* Extremes of channel coi where the mask is set. */
ZylStatus zyliMinMaxIndx_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl32f *pMinVal,
                                  Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);
/* Extremes of every pixel. */
ZylStatus zyliMinMaxIndx_8s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize roiSize,
                                Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                ZyliPoint *pMaxIndex);
/* Extremes of channel coi (1..3). */
ZylStatus zyliMinMaxIndx_8s_C3CR(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                 Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                 ZyliPoint *pMaxIndex);
/* Extremes of the pixels whose mask byte is set. */
ZylStatus zyliMinMaxIndx_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                 Zyl32s maskStep, ZyliSize roiSize, Zyl32f *pMinVal,
                                 Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);
/* Extremes of channel coi where the mask is set. */
ZylStatus zyliMinMaxIndx_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl32f *pMinVal,
                                  Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);
/* Extremes of every pixel. */
ZylStatus zyliMinMaxIndx_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize,
                                 Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                 ZyliPoint *pMaxIndex);
/* Extremes of channel coi (1..3). */
ZylStatus zyliMinMaxIndx_32f_C3CR(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi,
                                  Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                                  ZyliPoint *pMaxIndex);
/* Extremes of the pixels whose mask byte is set. */
ZylStatus zyliMinMaxIndx_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                  Zyl32s maskStep, ZyliSize roiSize, Zyl32f *pMinVal,
                                  Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);
/* Extremes of channel coi where the mask is set. */
ZylStatus zyliMinMaxIndx_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                   Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl32f *pMinVal,
                                   Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex);

/* ---- norms of an image, of a difference (src1 - src2) and relative (||src1 - src2|| / ||src2||)
   over the pixels whose mask byte is set; C3CMR forms read channel coi (1..3) of a 3-channel
   image ----
   A mask that selects nothing gives 0.0. 8u/8s: exact integer terms (|-128| is 128, differences
   up to 255): Inf the largest, L1 a 32-bit sum (exact below 2^31), L2 an exact 64-bit sum of
   squares, then one double square root. 32f: the difference, |v| and v * v are rounded to single
   precision and summed in single precision into four partial sums (rows in groups of eight,
   terms j and j + 4 to sum j, row tails to sum 0) in an order fixed per function, so results
   repeat bit for bit; the total is widened to double (L2: its square root in double). The 32f
   Inf norms pass NaN terms over. Relative norms divide in double; a denominator that is exactly
   zero (+0.0 or -0.0 for 32f) gives numerator * 2^52 instead (numerator / 2^-52): 0.0 for a
   zero numerator, else a large finite value; L2 takes the square root of that quotient. */
/* Inf norm (largest magnitude) of the selected pixels. */
ZylStatus zyliNorm_Inf_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_Inf_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm (largest magnitude) of the selected pixels. */
ZylStatus zyliNorm_Inf_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_Inf_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm (largest magnitude) of the selected pixels. */
ZylStatus zyliNorm_Inf_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_Inf_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                 Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm (sum of magnitudes) of the selected pixels. */
ZylStatus zyliNorm_L1_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L1_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm (sum of magnitudes) of the selected pixels. */
ZylStatus zyliNorm_L1_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L1_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm (sum of magnitudes) of the selected pixels. */
ZylStatus zyliNorm_L1_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L1_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm (square root of the sum of squares) of the selected pixels. */
ZylStatus zyliNorm_L2_8u_C1MR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L2_8u_C3CMR(const Zyl8u *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm (square root of the sum of squares) of the selected pixels. */
ZylStatus zyliNorm_L2_8s_C1MR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                              Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L2_8s_C3CMR(const Zyl8s *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm (square root of the sum of squares) of the selected pixels. */
ZylStatus zyliNorm_L2_32f_C1MR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                               Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNorm_L2_32f_C3CMR(const Zyl32f *pSrc, Zyl32s srcStep, const Zyl8u *pMask,
                                Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_Inf_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_Inf_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_Inf_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_Inf_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_Inf_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_Inf_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                     Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                     ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L1_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L1_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L1_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L1_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L1_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L1_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L2_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L2_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L2_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L2_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2, over the selected pixels. */
ZylStatus zyliNormDiff_L2_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormDiff_L2_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_Inf_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_Inf_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_Inf_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_Inf_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* Inf norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_Inf_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_Inf_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                    Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                    ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L1_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                 Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                 ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L1_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L1_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                 Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                 ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L1_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L1 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L1_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L1_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L2_8u_C1MR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                 Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                 ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L2_8u_C3CMR(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L2_8s_C1MR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                 Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                 ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L2_8s_C3CMR(const Zyl8s *pSrc1, Zyl32s src1Step, const Zyl8s *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);
/* L2 norm of src1 - src2 divided by that of src2, over the selected pixels. */
ZylStatus zyliNormRel_L2_32f_C1MR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                  Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                  ZyliSize roiSize, Zyl64f *pNorm);
ZylStatus zyliNormRel_L2_32f_C3CMR(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                   Zyl32s src2Step, const Zyl8u *pMask, Zyl32s maskStep,
                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pNorm);

/* ---- fixed 3x3 derivative filters: replicated borders read inside the ROI only; bottomUp 1
   negates odd vertical derivatives; Scharr results are divided by 2^shift ----
   A neighbour outside the ROI is read as the nearest ROI pixel (width 1 gives d/dx = 0), so the
   ROI may touch the end of an allocation; height must be at least 2. Horizontal derivatives are
   right minus left, vertical ones lower row minus upper row (rows growing downwards) unless
   bottomUp is 1. 16s results are exact integer sums (at most 4080 in magnitude, never
   saturated); the Scharr sum, sign applied, is shifted right arithmetically, i.e. rounded
   towards minus infinity (-5 with shift 1 gives -3; a shift of 12 or more gives 0 or -1). 32f:
   single precision, Scharr weights pre-scaled by 1/2^shift (0 from shift 128 on). Source and
   destination must not overlap. */
/* Sobel d/dx. */
ZylStatus zyliSobel3x3_Dx_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize);
/* Sobel d/dy. */
ZylStatus zyliSobel3x3_Dy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                    Zyl32s bottomUp, ZyliSize roiSize);
/* Sobel d2/dx2. */
ZylStatus zyliSobel3x3_D2x_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize);
/* Sobel d2/dy2. */
ZylStatus zyliSobel3x3_D2y_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize);
/* Sobel d2/dxdy. */
ZylStatus zyliSobel3x3_DxDy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                      Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize);
/* Scharr d/dx. */
ZylStatus zyliScharr_Dx_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                  ZyliSize roiSize, Zyl32s shift);
/* Scharr d/dy. */
ZylStatus zyliScharr_Dy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                  Zyl32s bottomUp, ZyliSize roiSize, Zyl32s shift);
/* Sobel d/dx. */
ZylStatus zyliSobel3x3_Dx_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize);
/* Sobel d/dy. */
ZylStatus zyliSobel3x3_Dy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                    Zyl32s bottomUp, ZyliSize roiSize);
/* Sobel d2/dx2. */
ZylStatus zyliSobel3x3_D2x_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize);
/* Sobel d2/dy2. */
ZylStatus zyliSobel3x3_D2y_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize);
/* Sobel d2/dxdy. */
ZylStatus zyliSobel3x3_DxDy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                      Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize);
/* Scharr d/dx. */
ZylStatus zyliScharr_Dx_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                  ZyliSize roiSize, Zyl32s shift);
/* Scharr d/dy. */
ZylStatus zyliScharr_Dy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                  Zyl32s bottomUp, ZyliSize roiSize, Zyl32s shift);
/* Sobel d/dx. */
ZylStatus zyliSobel3x3_Dx_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                  ZyliSize roiSize);
/* Sobel d/dy. */
ZylStatus zyliSobel3x3_Dy_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                  Zyl32s bottomUp, ZyliSize roiSize);
/* Scharr d/dx. */
ZylStatus zyliScharr_Dx_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                ZyliSize roiSize, Zyl32s shift);
/* Scharr d/dy. */
ZylStatus zyliScharr_Dy_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                Zyl32s bottomUp, ZyliSize roiSize, Zyl32s shift);

/* ---- filter states for the strip filters; constructors store the state through ppState ----
   Sobel kernels of aperture k and order m are the coefficients of (1 + z)^(k-1-m) (z - 1)^m,
   the first applied to the leftmost (topmost) neighbour: 1 2 1 and -1 0 1 for k = 3, so a
   positive d/dx means values growing to the right, and d/dy growing downwards (negated by
   bottomUp 1 for odd yOrder). Constructors return zylStatusNoMemory when the heap refuses. A
   strip filter refuses a state of another kind or pixel type (zylStatusBadArg) and a ROI wider
   than the state's maxRoiWidth (zylStatusBadSize). */
/* Sobel state: aperture 3, 5 or 7, derivative orders along x and y. */
ZylStatus zyliSobelInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                             Zyl32s bottomUp, Zyl32s xOrder, Zyl32s yOrder,
                             ZyliConvState **ppState);
/* Laplace state: aperture 3, 5 or 7. */
ZylStatus zyliLaplaceInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                               ZyliConvState **ppState);
/* Box-sum state: window 3, 5 or 7. */
ZylStatus zyliBlurInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                            ZyliConvState **ppState);
/* Releases a filter state and nulls *ppState. */
ZylStatus zyliConvolFree(ZyliConvState **ppState);

/* ---- strip filters: *pRoiSize holds the width and the rows supplied; on return, the rows
   written ----
   A sequence is one first strip, any middle strips and one last strip; together they write
   exactly the rows of one whole-image call. A first strip must supply at least kernelSize / 2
   rows (1, 2 or 3 for apertures 3, 5, 7): after a shorter one the state still waits for rows
   above the first output row, and the next middle or last strip is refused with zylStatusBadArg
   (start the sequence again with a longer first strip).
   Borders are replicated: columns clamp to the ROI, rows to the first row of the whole or first
   strip and to the last row of the whole or last strip. Nothing is normalised. Sobel and Laplace
   on 8-bit sources compute in exact integers and saturate the result to -32768..32767 (reachable
   with apertures 5 and 7 only: aperture 7, orders 1, 0 take an 8u 0-to-255 step to 32767).
   The 3x3 Laplacian is 2 0 2 / 0 -8 0 / 2 0 2. The blur writes the plain window sum, which
   always fits Zyl16s (at most 49 * 255). 32f works in single precision; the 32f blur keeps
   running row and column sums, so an output carries the rounding of the sums before it. */
/* Sobel derivative of the state's aperture and orders, whole or strip by strip. */
ZylStatus zyliSobel_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                              ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Sobel derivative of the state's aperture and orders, whole or strip by strip. */
ZylStatus zyliSobel_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                              ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Sobel derivative of the state's aperture and orders, whole or strip by strip. */
ZylStatus zyliSobel_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                            ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Laplacian (sum of the two second derivatives), whole or strip by strip. */
ZylStatus zyliLaplace_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Laplacian (sum of the two second derivatives), whole or strip by strip. */
ZylStatus zyliLaplace_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                                ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Laplacian (sum of the two second derivatives), whole or strip by strip. */
ZylStatus zyliLaplace_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                              ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Sum of the kernelSize x kernelSize window around each pixel, whole or strip by strip. */
ZylStatus zyliBlur_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                             ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Sum of the kernelSize x kernelSize window around each pixel, whole or strip by strip. */
ZylStatus zyliBlur_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst, Zyl32s dstStep,
                             ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);
/* Sum of the kernelSize x kernelSize window around each pixel, whole or strip by strip. */
ZylStatus zyliBlur_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                           ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole);

/* ---- Gaussian 5x5 pyramid: PyrDown halves (W/2 x H/2), PyrUp doubles (2W x 2H); roiSize is the
   source size; pBuffer is a work buffer of the size the matching query reports ----
   Kernel 1 4 6 4 1 in both directions. Borders: PyrDown mirrors all four sides without
   repeating the edge pixel (index -1 reads 1, -2 reads 2, n reads n - 2, n + 1 reads n - 3);
   PyrUp mirrors the left and top (-1 reads 1) and replicates the right and bottom (n reads
   n - 1). Rounding: 8u (sum + 128) >> 8 for PyrDown and (sum + 32) >> 6 for PyrUp, i.e. to
   nearest with halves upwards; 8s the same with an arithmetic shift, so halves go upwards too
   (a constant -1 stays -1); no saturation is ever needed. 32f: single precision, the sum times
   1/256 or 1/64. PyrDown needs an even W and H; a W or H of 0 writes nothing. The source is only
   read. The queries refuse a width whose buffer would not fit a Zyl32s (zylStatusBadSize,
   *pBufSize = 0). */
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_8s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl8s *pDst,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_8s_C3R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl8s *pDst,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Smooths and keeps every second pixel of every second row. */
ZylStatus zyliPyrDown_Gauss5x5_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_8s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl8s *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_8s_C3R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl8s *pDst, Zyl32s dstStep,
                                    ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Doubles the size by inserting zeros and smoothing. */
ZylStatus zyliPyrUp_Gauss5x5_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                     Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer);
/* Work-buffer bytes of PyrDown for a source width, data type code and channel count (1 or 3). */
ZylStatus zyliPyrDownGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType, Zyl32s nChannels,
                                         Zyl32s *pBufSize);
/* Work-buffer bytes of PyrUp for a source width, data type code and channel count (1 or 3). */
ZylStatus zyliPyrUpGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType, Zyl32s nChannels,
                                       Zyl32s *pBufSize);

/* ---- corner eigen-analysis -------------------------------------------------------------------
   Gradients: the Sobel derivatives (1, 0) and (0, 1) of apertureSize with replicated borders, as
   zyliSobel_* computes them; products Dx*Dx, Dx*Dy, Dy*Dy in single precision; their box sums
   over blockSize x blockSize, replicated borders; scale s = 1 / (255 * 4^(apertureSize - 1) *
   blockSize^2) for every source type. EigenValsVecs, with a = Sxx*s, b = Sxy*s, c = Syy*s and
   t = 0.01 * max(a, c): min(a, c) < t gives six zeros (flat areas, straight edges); else |b| < t
   gives a, c, 1, 0, 0, 1 (taken as diagonal, in that order even when c > a); else a*c - b*b < t
   gives six zeros; else l1 >= l2 with unit vectors (b, l - a) / length. MinEigenVal has no
   threshold: (p + q - sqrt(Sxy^2 + (p - q)^2)) * s with p = Sxx/2, q = Syy/2. Any height from 1
   works. Each call allocates and frees five filter states (zylStatusNoMemory if the heap
   refuses). The queries refuse a width whose buffer would not fit a Zyl32s (zylStatusBadSize,
   *pBufferSize = 0). */
/* Gradient covariance over a block: six floats per pixel: l1, l2, x1, y1, x2, y2. */
ZylStatus zyliEigenValsVecs_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pEigenVV,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                      Zyl32s blockSize, Zyl8u *pBuffer);
/* Gradient covariance over a block: six floats per pixel: l1, l2, x1, y1, x2, y2. */
ZylStatus zyliEigenValsVecs_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl32f *pEigenVV,
                                      Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                      Zyl32s blockSize, Zyl8u *pBuffer);
/* Gradient covariance over a block: six floats per pixel: l1, l2, x1, y1, x2, y2. */
ZylStatus zyliEigenValsVecs_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pEigenVV,
                                    Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                    Zyl32s blockSize, Zyl8u *pBuffer);
/* Gradient covariance over a block: the smaller eigenvalue per pixel. */
ZylStatus zyliMinEigenVal_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pMinEigenVal,
                                    Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                    Zyl32s blockSize, Zyl8u *pBuffer);
/* Gradient covariance over a block: the smaller eigenvalue per pixel. */
ZylStatus zyliMinEigenVal_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl32f *pMinEigenVal,
                                    Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                    Zyl32s blockSize, Zyl8u *pBuffer);
/* Gradient covariance over a block: the smaller eigenvalue per pixel. */
ZylStatus zyliMinEigenVal_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pMinEigenVal,
                                  Zyl32s dstStep, ZyliSize roiSize, Zyl32s apertureSize,
                                  Zyl32s blockSize, Zyl8u *pBuffer);
/* Work-buffer bytes of zyliEigenValsVecs_* for a ROI width, aperture and block size. */
ZylStatus zyliEigenValsVecsGetSize(Zyl32s roiWidth, Zyl32s apertureSize, Zyl32s blockSize,
                                   Zyl32s *pBufferSize);
/* Work-buffer bytes of zyliMinEigenVal_* for a ROI width, aperture and block size. */
ZylStatus zyliMinEigenValGetSize(Zyl32s roiWidth, Zyl32s apertureSize, Zyl32s blockSize,
                                 Zyl32s *pBufferSize);

/* ---- Canny edge detector ---------------------------------------------------------------------
   Magnitude |dx| + |dy| (-32768 counting as 32768), saturated at 32767. The two neighbours
   compared lie along the gradient, across the edge: above and below when 4096|dy| >= 9889|dx|
   (within about 22.5 degrees of vertical), left and right when 4096|dy| < 1697|dx|, otherwise a
   diagonal pair, up-left and down-right when dx and dy have the same sign (0 counting as
   positive), else up-right and down-left; dy is taken as positive downwards (towards higher
   rows). Pixels outside the ROI count as magnitude 0, so a border pixel can be an edge. A
   magnitude must be strictly above lowThresh to take part at all and strictly above highThresh
   to seed; lowThresh < 0, highThresh < lowThresh or a NaN threshold give zylStatusBadArg. The
   size query refuses sizes whose buffer would not fit a Zyl32s (zylStatusBadSize, 0). */
/* Work-buffer bytes of zyliCanny_16s8u_C1R for a ROI. */
ZylStatus zyliCannyGetSize(ZyliSize roiSize, Zyl32s *pBufferSize);
/* Edge map (0 or 255) from horizontal and vertical derivatives with hysteresis thresholds.
   A pixel survives non-maximum suppression only if its magnitude |dx| + |dy| is strictly larger
   than both neighbours' along the gradient: exact ties suppress both pixels, so a perfectly
   sharp synthetic step (two equal magnitudes side by side) can yield no edge at all; real or
   smoothed images rarely have exact ties. Seeds are kept magnitudes above highThresh; kept
   magnitudes above lowThresh join them through 8-connected neighbours. */
ZylStatus zyliCanny_16s8u_C1R(const Zyl16s *pSrcDx, Zyl32s srcDxStep, const Zyl16s *pSrcDy,
                              Zyl32s srcDyStep, Zyl8u *pDstEdges, Zyl32s dstEdgeStep,
                              ZyliSize roiSize, Zyl32f lowThresh, Zyl32f highThresh,
                              Zyl8u *pBuffer);

/* ---- fast arctangent -------------------------------------------------------------------------
   Per element, single precision: z = min(|x|, |y|) / max(|x|, |y|, 1e-8), p = (c2*z + c1)*z + c0
   with c2 = -15.8131895, c1 = 61.0941963, c0 = -0.140500411 (atan in degrees to about 0.14),
   then 90 - p when |x| < |y|, 180 - that when x < 0, 360 - that when y < 0. The result is not
   wrapped: (1, 0) and (0, 0) give -0.1405, (-1, 0) 180.1405, (0, -1) 269.8595; -0.0 counts as
   not negative. A NaN in x or y gives a NaN. A length of 0 writes nothing. */
/* Direction angle of (x, y) in degrees, about -0.14 to 360.14, per element. */
ZylStatus zylibFastArctan_32f(const Zyl32f *pSrcY, const Zyl32f *pSrcX, Zyl32f *pDst,
                              Zyl32s length);

/* ---- morphology ------------------------------------------------------------------------------
   Erosion writes the minimum, dilation the maximum, of the source over the element's member
   cells placed with the anchor on the pixel: cell (i, j) reads source row y - anchorY + i, column
   x - anchorX + j, each channel separately. Borders are replicated: columns clamp to the ROI,
   rows to the first row of the whole or first strip and the last row of the whole or last strip.
   8u compares unsigned bytes. 32f mask and ellipse members compare in the total order of bit
   patterns: -0.0 below +0.0, a NaN with the sign bit clear above +inf, one with it set below
   -inf. 32f rectangle and cross members fold the window with < or > (each row left to right,
   then the rows top to bottom), keeping the running value only when it is strictly smaller
   (larger): of +0.0 and -0.0 the one folded last wins, and a NaN displaces what came before it
   and is displaced by what comes after, so results near NaNs depend on their position (a mask
   element of all ones gives the total order instead). An element without members (an all-zero
   mask) gives 255 (8u erosion), 0 (8u dilation) and the patterns 0x7FFFFFFF and 0xFFFFFFFF (32f
   erosion, dilation). Every element height works strip by strip: a call writes the rows its
   source rows complete (a first strip too short to complete one writes none, zylStatusOk), and a
   last or whole call also those that need the replicated bottom row. A middle or last strip
   before any first or whole call, or a first, middle or whole call with no rows, returns
   zylStatusNoOperation (+1) with height 0; middle and last strips must keep the width of the
   strip before them (else zylStatusBadSize). The source is only read. */
/* Builds a morphology state: element rectangle, anchor, shape (0, 1, 2, 100) and optional mask. */
ZylStatus zyliMorphologyInitAlloc(Zyl32s roiWidth, ZylDataType dataType, Zyl32s nChannels,
                                  ZyliSize maskSize, ZyliPoint anchor, Zyl32s shape,
                                  const Zyl32s *pMask, ZyliMorphState **ppState);
/* Releases the state held in *ppState and nulls it. */
ZylStatus zyliMorphologyFree(ZyliMorphState **ppState);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                     ZyliSize *pRoiSize, ZyliMorphState *pState,
                                     ZylStripRole stripRole);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                     ZyliSize *pRoiSize, ZyliMorphState *pState,
                                     ZylStripRole stripRole);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                     ZyliSize *pRoiSize, ZyliMorphState *pState,
                                     ZylStripRole stripRole);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Rect_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of erosion with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_Cross_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                ZyliSize *pRoiSize, ZyliMorphState *pState, ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                ZyliSize *pRoiSize, ZyliMorphState *pState, ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                ZyliSize *pRoiSize, ZyliMorphState *pState, ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of erosion with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliErodeStrip_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                      ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a rectangle element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Rect_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                       ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                        Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                        ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                        Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                        ZylStripRole stripRole);
/* One strip of dilation with a cross element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_Cross_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                        Zyl32s dstStep, ZyliSize *pRoiSize, ZyliMorphState *pState,
                                        ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_8u_C4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst, Zyl32s dstStep,
                                 ZyliSize *pRoiSize, ZyliMorphState *pState,
                                 ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                  ZyliSize *pRoiSize, ZyliMorphState *pState,
                                  ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                  ZyliSize *pRoiSize, ZyliMorphState *pState,
                                  ZylStripRole stripRole);
/* One strip of dilation with a mask or ellipse element; rows written go to pRoiSize->height. */
ZylStatus zyliDilateStrip_32f_C4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst, Zyl32s dstStep,
                                  ZyliSize *pRoiSize, ZyliMorphState *pState,
                                  ZylStripRole stripRole);

/* ---- template matching -----------------------------------------------------------------------
   Scores cover every position where the template lies wholly inside the image, (W - w + 1) x
   (H - h + 1) values; score (x, y) has the template's top-left pixel on source pixel (x, y).
   8u/8s sums over a window and over the template are exact 64-bit integers; 32f sums are doubles
   (the block kernels add groups of four in extended precision); every score is formed in double
   and rounded once to 32f. The normed methods multiply by reciprocal square roots of |sum of
   squares| + 2^-23 (CoeffNormed: of |variance term| + 2^-23), so a zero template or a flat window
   gives a finite score, never a NaN from a zero denominator; scores are not clamped (CorrNormed
   of a perfect match may exceed 1 by rounding). Coeff and CoeffNormed take the mean as the sum
   times 1 / (N + 2^-52). The buffer size is not checked: pass at least what the query of the
   same method reports for the same sizes and type; the queries refuse sizes whose buffer would
   not fit a Zyl32s (zylStatusBadSize, *pBufSize = 0). Block kernels: 8-bit results are exact
   (the 32-bit pixel sums while they fit a Zyl32s); 32f ones accumulate in double in index order. */
/* Sum of a run of len elements; len <= 0 gives 0. */
Zyl32s zycvSumPixels_8u_C1(const Zyl8u *pSrc, Zyl32s len);
/* Sum of a run of len elements; len <= 0 gives 0. */
Zyl32s zycvSumPixels_8s_C1(const Zyl8s *pSrc, Zyl32s len);
/* Sum of a run of len elements; len <= 0 gives 0. */
Zyl64f zycvSumPixels_32f_C1(const Zyl32f *pSrc, Zyl32s len);
/* Sum of squared differences of two runs of len elements; len <= 0 gives 0. */
Zyl64s zycvCmpBlocksL2_8u_C1(const Zyl8u *pSrc1, const Zyl8u *pSrc2, Zyl32s len);
/* Sum of squared differences of two runs of len elements; len <= 0 gives 0. */
Zyl64s zycvCmpBlocksL2_8s_C1(const Zyl8s *pSrc1, const Zyl8s *pSrc2, Zyl32s len);
/* Sum of squared differences of two runs of len elements; len <= 0 gives 0. */
Zyl64f zycvCmpBlocksL2_32f_C1(const Zyl32f *pSrc1, const Zyl32f *pSrc2, Zyl32s len);
/* Sum of products of two runs of len elements; len <= 0 gives 0. */
Zyl64s zycvCrossCorr_8u_C1(const Zyl8u *pSrc1, const Zyl8u *pSrc2, Zyl32s len);
/* Sum of products of two runs of len elements; len <= 0 gives 0. */
Zyl64s zycvCrossCorr_8s_C1(const Zyl8s *pSrc1, const Zyl8s *pSrc2, Zyl32s len);
/* Sum of products of two runs of len elements; len <= 0 gives 0. */
Zyl64f zycvCrossCorr_32f_C1(const Zyl32f *pSrc1, const Zyl32f *pSrc2, Zyl32s len);
/* SqDiff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiff_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                             const Zyl8u *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                             Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* SqDiff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiff_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                             const Zyl8s *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                             Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* SqDiff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiff_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                           const Zyl32f *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                           Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* SqDiffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiffNormed_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep,
                                                   ZyliSize srcRoiSize, const Zyl8u *pTpl,
                                                   Zyl32s tplStep, ZyliSize tplRoiSize,
                                                   Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* SqDiffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiffNormed_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep,
                                                   ZyliSize srcRoiSize, const Zyl8s *pTpl,
                                                   Zyl32s tplStep, ZyliSize tplRoiSize,
                                                   Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* SqDiffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_SqDiffNormed_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep,
                                                 ZyliSize srcRoiSize, const Zyl32f *pTpl,
                                                 Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                 Zyl32s dstStep, Zyl8u *pBuffer);
/* Corr score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Corr_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                           const Zyl8u *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                           Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* Corr score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Corr_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                           const Zyl8s *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                           Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* Corr score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Corr_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                         const Zyl32f *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                         Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* CorrNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CorrNormed_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep,
                                                 ZyliSize srcRoiSize, const Zyl8u *pTpl,
                                                 Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                 Zyl32s dstStep, Zyl8u *pBuffer);
/* CorrNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CorrNormed_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep,
                                                 ZyliSize srcRoiSize, const Zyl8s *pTpl,
                                                 Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                 Zyl32s dstStep, Zyl8u *pBuffer);
/* CorrNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CorrNormed_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep,
                                               ZyliSize srcRoiSize, const Zyl32f *pTpl,
                                               Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                               Zyl32s dstStep, Zyl8u *pBuffer);
/* Coeff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Coeff_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                            const Zyl8u *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                            Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* Coeff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Coeff_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                            const Zyl8s *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                            Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* Coeff score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_Coeff_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize,
                                          const Zyl32f *pTpl, Zyl32s tplStep, ZyliSize tplRoiSize,
                                          Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer);
/* CoeffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CoeffNormed_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep,
                                                  ZyliSize srcRoiSize, const Zyl8u *pTpl,
                                                  Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                  Zyl32s dstStep, Zyl8u *pBuffer);
/* CoeffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CoeffNormed_8s32f_C1R(const Zyl8s *pSrc, Zyl32s srcStep,
                                                  ZyliSize srcRoiSize, const Zyl8s *pTpl,
                                                  Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                  Zyl32s dstStep, Zyl8u *pBuffer);
/* CoeffNormed score of the template at every position inside the image. */
ZylStatus zyliMatchTemplate_CoeffNormed_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep,
                                                ZyliSize srcRoiSize, const Zyl32f *pTpl,
                                                Zyl32s tplStep, ZyliSize tplRoiSize, Zyl32f *pDst,
                                                Zyl32s dstStep, Zyl8u *pBuffer);
/* Work-buffer bytes of the SqDiff matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_SqDiff(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                             Zyl32s dataType, Zyl32s *pBufSize);
/* Work-buffer bytes of the SqDiffNormed matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_SqDiffNormed(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                                   Zyl32s dataType, Zyl32s *pBufSize);
/* Work-buffer bytes of the Corr matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_Corr(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                           Zyl32s dataType, Zyl32s *pBufSize);
/* Work-buffer bytes of the CorrNormed matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_CorrNormed(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                                 Zyl32s dataType, Zyl32s *pBufSize);
/* Work-buffer bytes of the Coeff matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_Coeff(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                            Zyl32s dataType, Zyl32s *pBufSize);
/* Work-buffer bytes of the CoeffNormed matching functions for the sizes and data type code. */
ZylStatus zyliMatchTemplateGetBufSize_CoeffNormed(ZyliSize srcRoiSize, ZyliSize tplRoiSize,
                                                  Zyl32s dataType, Zyl32s *pBufSize);

/* ---- distance transform ----------------------------------------------------------------------
   Source pixels of 0 are at distance 0. Two in-place passes over the ROI, forward (rows top to
   bottom, each left to right) and backward (bottom to top, right to left), set each pixel to the
   smallest of its value and a neighbour's value plus that step's cost; neighbours outside the ROI
   are never considered and nothing outside the ROI is read (a one-row image propagates along the
   row only). Costs are rounded to multiples of 2^-18 (nearest, ties to even) and added in 32-bit
   integers; each result is that integer rounded to float, times 2^-18. An image without a zero
   pixel gives 4096.0 everywhere; kinds 30 and 31 give exact integer distances. Costs are not
   checked: negative costs or costs of 4096 and more are outside the supported range. A width or
   height of 0 writes nothing. */
/* Chamfer distance to the nearest zero pixel with 3x3 step costs (2 floats). */
ZylStatus zyliDistanceTransform_3x3_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize,
                                              const Zyl32f *pMetrics);
/* Chamfer distance to the nearest zero pixel with 5x5 step costs (3 floats). */
ZylStatus zyliDistanceTransform_5x5_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize,
                                              const Zyl32f *pMetrics);
/* Standard step costs for kind 30, 31, 32 (3x3) or 52 (5x5). */
ZylStatus zyliGetDistanceTransformMask(Zyl32s kind, Zyl32f *pMetrics);

/* ---- flood fill ------------------------------------------------------------------------------
   Value fills: a pixel joins when it equals the seed's old value S (32f: when it is neither less
   nor greater than S, so +0.0 and -0.0 match each other and a NaN pixel matches any S) and is 4-
   or 8-connected to the seed through such pixels. When S already equals newVal (32f: compares
   equal, or either is a NaN) nothing is written, not even *pRegion. Gradient fills compare the
   original values (the image is written afterwards): a pixel c joins through the region
   neighbour n the fill reaches it from; 8u: when n - lowDiff <= c <= n + upDiff, both bounds
   included (lowDiff + upDiff at most 255); 32f: unless |(c + mid) - n| > half, mid = (lowDiff -
   upDiff) / 2 and half = (lowDiff + upDiff) / 2 in single precision, so a NaN on either side is
   accepted. Gradient fills always run and always write *pRegion; newVal may lie in the range.
   Nothing outside the ROI is read or written; *pRegion receives the area, newVal and the
   bounding box in ROI coordinates. */
/* Work-buffer bytes of the value fills for a ROI. The buffer holds the span records of the
   fill; a region of very many separate spans (a fine checkerboard, say) can need more records
   than it holds, and the fill then returns zylStatusNoMemory, having filled part of the region.
   It never writes outside the buffer or the image. Sizes whose buffer would not fit a Zyl32s
   are refused with zylStatusBadSize (and *pSize = 0). */
ZylStatus zyliFloodFillGetSize(ZyliSize roiSize, Zyl32s *pSize);
/* Work-buffer bytes of the gradient fills for a ROI; the same limits as above. */
ZylStatus zyliFloodFillGetSize_Grad(ZyliSize roiSize, Zyl32s *pSize);
/* Fills the 4-connected region of the seed's value with newVal. */
ZylStatus zyliFloodFill_4Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                     ZyliPoint seed, Zyl32s newVal, ZyliConnectedRegion *pRegion,
                                     Zyl8u *pBuffer);
/* Fills the 4-connected region of the seed's value with newVal. */
ZylStatus zyliFloodFill_4Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                      ZyliPoint seed, Zyl32f newVal, ZyliConnectedRegion *pRegion,
                                      Zyl8u *pBuffer);
/* Fills the 8-connected region of the seed's value with newVal. */
ZylStatus zyliFloodFill_8Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                     ZyliPoint seed, Zyl32s newVal, ZyliConnectedRegion *pRegion,
                                     Zyl8u *pBuffer);
/* Fills the 8-connected region of the seed's value with newVal. */
ZylStatus zyliFloodFill_8Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                      ZyliPoint seed, Zyl32f newVal, ZyliConnectedRegion *pRegion,
                                      Zyl8u *pBuffer);
/* Fills the 4-connected region whose neighbours differ by at most lowDiff down and upDiff up. */
ZylStatus zyliFloodFill_Grad4Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                         ZyliPoint seed, Zyl32s newVal, Zyl32s lowDiff,
                                         Zyl32s upDiff, ZyliConnectedRegion *pRegion,
                                         Zyl8u *pBuffer);
/* Fills the 4-connected region whose neighbours differ by at most lowDiff down and upDiff up. */
ZylStatus zyliFloodFill_Grad4Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                          ZyliPoint seed, Zyl32f newVal, Zyl32f lowDiff,
                                          Zyl32f upDiff, ZyliConnectedRegion *pRegion,
                                          Zyl8u *pBuffer);
/* Fills the 8-connected region whose neighbours differ by at most lowDiff down and upDiff up. */
ZylStatus zyliFloodFill_Grad8Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                         ZyliPoint seed, Zyl32s newVal, Zyl32s lowDiff,
                                         Zyl32s upDiff, ZyliConnectedRegion *pRegion,
                                         Zyl8u *pBuffer);
/* Fills the 8-connected region whose neighbours differ by at most lowDiff down and upDiff up. */
ZylStatus zyliFloodFill_Grad8Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                          ZyliPoint seed, Zyl32f newVal, Zyl32f lowDiff,
                                          Zyl32f upDiff, ZyliConnectedRegion *pRegion,
                                          Zyl8u *pBuffer);

/* ---- line sampling ---------------------------------------------------------------------------
   The line is traced along its major axis (the one with the larger |difference|) with an integer
   midpoint rule: max(|dx|, |dy|) + 1 samples, pt1 first and pt2 last; the minor-axis offset of
   sample k is the integer nearest to k * minor / major, an exact half going towards pt1 (from
   (0, 0) to (2, 1): (0, 0), (1, 0), (2, 1)). pDst must hold that many pixels (three elements
   each for C3). An end point outside the ROI, or a step shorter than one row, gives
   zylStatusError. */
/* Copies the pixels of the digital line from pt1 to pt2, both included, into pDst. */
ZylStatus zyliSampleLine_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl8u *pDst,
                                ZyliPoint pt1, ZyliPoint pt2);
/* Copies the pixels of the digital line from pt1 to pt2, both included, into pDst. */
ZylStatus zyliSampleLine_8u_C3R(const Zyl8u *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl8u *pDst,
                                ZyliPoint pt1, ZyliPoint pt2);
/* Copies the pixels of the digital line from pt1 to pt2, both included, into pDst. */
ZylStatus zyliSampleLine_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32f *pDst,
                                 ZyliPoint pt1, ZyliPoint pt2);
/* Copies the pixels of the digital line from pt1 to pt2, both included, into pDst. */
ZylStatus zyliSampleLine_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32f *pDst,
                                 ZyliPoint pt1, ZyliPoint pt2);

#ifdef __cplusplus
}
#endif

#endif /* ZYLCV_H */

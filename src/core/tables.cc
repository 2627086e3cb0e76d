// Exported constant tables for packed kernels. Each table is generated at compile time from its
// rule (the entry functions below), so the data and the rule cannot disagree.
#include "internal.h"

namespace {

constexpr Zyl32f to_float_entry(int i) { return static_cast<Zyl32f>(i - 128); }

// 0xFF where byte j of a run of 3-channel pixels belongs to channel r.
constexpr Zyl8u coi_byte(int r, int j) { return j % 3 == r ? 0xFF : 0x00; }

// Entry b of the shuffle table: byte 3k mod 8 is set for every set bit k of b.
constexpr Zyl8u shuff_byte(int b, int byte)
{
    for (int k = 0; k < 8; ++k)
        if ((b >> k & 1) && (3 * k) % 8 == byte) return 0xFF;
    return 0x00;
}

}  // namespace

// Initialiser lists stamped out from an index: R4..R256 expand M(i) for consecutive i.
#define R4(M, i) M(i) M((i) + 1) M((i) + 2) M((i) + 3)
#define R8(M, i) R4(M, i) R4(M, (i) + 4)
#define R16(M, i) R8(M, i) R8(M, (i) + 8)
#define R48(M, i) R16(M, i) R16(M, (i) + 16) R16(M, (i) + 32)
#define R64(M, i) R16(M, i) R16(M, (i) + 16) R16(M, (i) + 32) R16(M, (i) + 48)
#define R256(M, i) R64(M, i) R64(M, (i) + 64) R64(M, (i) + 128) R64(M, (i) + 192)

#define TO_FLOAT(i) to_float_entry(i),
ZYLCV_API const Zyl32f k4__zycv8to32f[384] = {R256(TO_FLOAT, 0) R64(TO_FLOAT, 256)
                                                  R64(TO_FLOAT, 320)};

#define COI0(j) coi_byte(0, j),
#define COI1(j) coi_byte(1, j),
#define COI2(j) coi_byte(2, j),
ZYLCV_API const Zyl8u _zycvCoiMaskd[3][48] = {{R48(COI0, 0)}, {R48(COI1, 0)}, {R48(COI2, 0)}};
ZYLCV_API __attribute__((aligned(256)))
const Zyl8u k4_zycvCoiMaskA[3][48] = {{R48(COI0, 0)}, {R48(COI1, 0)}, {R48(COI2, 0)}};
ZYLCV_API const Zyl8u _zycvCoiMask_K4[3][24] = {
    {R16(COI0, 0) R8(COI0, 16)}, {R16(COI1, 0) R8(COI1, 16)}, {R16(COI2, 0) R8(COI2, 16)}};

#define SHUFF(b)                                                                                   \
    {shuff_byte(b, 0), shuff_byte(b, 1), shuff_byte(b, 2), shuff_byte(b, 3),                       \
     shuff_byte(b, 4), shuff_byte(b, 5), shuff_byte(b, 6), shuff_byte(b, 7)},
ZYLCV_API const Zyl8u _zycvMaskShuffTable_K4[256][8] = {R256(SHUFF, 0)};

#define BIAS(i) 0x80,
ZYLCV_API const Zyl8u _zycvAdd128d[16] = {R16(BIAS, 0)};
ZYLCV_API const Zyl8u _zycvAdd128_K4[8] = {R8(BIAS, 0)};

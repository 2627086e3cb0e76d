// AVX2 Canny kernel. Magnitudes go 16 pixels per step in one register of 16-bit lanes, then 8,
// then the rest of a row pixel by pixel. Each row is suppressed as soon as the row below it has
// its magnitudes: 16 pixels per step, skipped when all 16 magnitudes are 0, with the direction
// tests as exact 32-bit products from vpmaddwd (unpacked and packed again within each 128-bit
// half, so the pixels come back in row order) and seeds pushed without branching; the row ends
// pixel by pixel through the same helper as the portable kernel. Hysteresis is the shared scalar
// flood; the edge map goes 32 pixels per step, then 16 and 8. Loads and stores are unaligned:
// map rows are 2 bytes off any 16-byte grid (their stride is 2 mod 8 bytes).
#include "canny.h"
#include "core/simd_avx2.h"

namespace zylcv::avx2 {
namespace {

using namespace canny;

ZYLCV_INLINE __m256i abs16(__m256i v) { return _mm256_abs_epi16(v); }
ZYLCV_INLINE __m256i max16(__m256i a, __m256i b) { return _mm256_max_epi16(a, b); }
ZYLCV_INLINE __m256i select(__m256i mask, __m256i a, __m256i b)
{
    return _mm256_blendv_epi8(b, a, mask);
}
// |v| as an unsigned 16-bit value: -32768 becomes 32768.
ZYLCV_INLINE __m256i uabs16(__m256i v) { return _mm256_abs_epi16(v); }
ZYLCV_INLINE __m128i uabs16(__m128i v) { return _mm_abs_epi16(v); }
// k with the sign of s (s = 0 or -1 per lane): k or -k.
ZYLCV_INLINE __m256i signed_const(__m256i k, __m256i s)
{
    return _mm256_sub_epi16(_mm256_xor_si256(k, s), s);
}
// Signed saturating pack of two registers of 16-bit lanes into bytes, in row order.
ZYLCV_INLINE __m256i packs16_ordered(__m256i lo, __m256i hi)
{
    return _mm256_permute4x64_epi64(_mm256_packs_epi16(lo, hi), 0xD8);
}

// Per step: 16 pixels, then 8: |dx| + |dy| with unsigned saturation, capped at 32767, zeroed at
// or below the low threshold; the row ends pixel by pixel and the columns from the width on are
// zeroed.
void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width, int stride,
                   int low)
{
    const __m256i cap = _mm256_set1_epi16(32767), low16 = _mm256_set1_epi16(Zyl16s(low));
    Zyl16s *out = mapRow + 1;
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m256i s = _mm256_adds_epu16(uabs16(load(dx + x)), uabs16(load(dy + x)));
        s = _mm256_min_epu16(s, cap);
        store(out + x, _mm256_and_si256(s, _mm256_cmpgt_epi16(s, low16)));
    }
    if (x + 8 <= width) {
        __m128i s = _mm_adds_epu16(uabs16(sse2::load(dx + x)), uabs16(sse2::load(dy + x)));
        s = _mm_min_epu16(s, _mm256_castsi256_si128(cap));
        sse2::store(out + x, _mm_and_si128(s, _mm_cmpgt_epi16(s, _mm256_castsi256_si128(low16))));
        x += 8;
    }
    for (; x < width; ++x) out[x] = canny_magnitude(dx[x], dy[x], low);
    canny_zero_entries(mapRow, width, stride);
}

// -1 in the 16-bit lanes whose 32-bit value dx*kx + dy*ky is negative. The unpacks and the pack
// both work within 128-bit halves, so each lane ends where it started.
ZYLCV_INLINE __m256i negative_products(__m256i gx, __m256i gy, __m256i kx, __m256i ky)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(gx, gy), _mm256_unpacklo_epi16(kx, ky));
    __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(gx, gy), _mm256_unpackhi_epi16(kx, ky));
    return _mm256_packs_epi32(_mm256_cmpgt_epi32(zero, lo), _mm256_cmpgt_epi32(zero, hi));
}

// Per step: 16 pixels of image row y; the row ends through the shared helper. Returns the new
// top of the seed stack.
int suppress_row(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y, int width,
                 int high, std::int32_t *stack, int top)
{
    const std::int32_t rowOff = (y + 1) * stride + 1;
    Zyl16s *row = map + rowOff;
    const __m256i zero = _mm256_setzero_si256(), high16 = _mm256_set1_epi16(Zyl16s(high));
    const __m256i kVert = _mm256_set1_epi16(-9889), kHorz = _mm256_set1_epi16(-1697),
                  kY = _mm256_set1_epi16(4096);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        Zyl16s *e = row + x;
        const __m256i m = load(e);
        if (_mm256_testz_si256(m, m)) continue;
        // 4096|dy| - k|dx| as dx*(-k*sign dx) + dy*(4096*sign dy): exact even for -32768.
        const __m256i gx = load(dx + x), gy = load(dy + x);
        const __m256i sx = _mm256_srai_epi16(gx, 15), sy = _mm256_srai_epi16(gy, 15);
        const __m256i ky = signed_const(kY, sy);
        const __m256i notVert = negative_products(gx, gy, signed_const(kVert, sx), ky);
        const __m256i horz = negative_products(gx, gy, signed_const(kHorz, sx), ky);
        const __m256i crossSigns = _mm256_srai_epi16(_mm256_xor_si256(gx, gy), 15);
        // Rows above and the pixel to the left may already be suppressed (negative).
        const Zyl16s *up = e - stride, *dn = e + stride;
        const __m256i nDiag = select(crossSigns, max16(abs16(load(up + 1)), load(dn - 1)),
                                     max16(abs16(load(up - 1)), load(dn + 1)));
        const __m256i nHorz = max16(abs16(load(e - 1)), load(e + 1));
        const __m256i nVert = max16(abs16(load(up)), load(dn));
        const __m256i n = select(notVert, select(horz, nHorz, nDiag), nVert);
        const __m256i keep = _mm256_cmpgt_epi16(m, n);
        store(e, select(keep, m, _mm256_sub_epi16(zero, m)));
        const unsigned bits =
            unsigned(_mm256_movemask_epi8(_mm256_and_si256(keep, _mm256_cmpgt_epi16(m, high16))));
        if (bits) {
            const std::int32_t off = rowOff + x;
            for (int i = 0; i < 16; ++i) {
                stack[top] = off + i;
                top += (bits >> (2 * i)) & 1;
            }
        }
    }
    return canny_suppress_span(map, stride, dx, dy, y, x, width, high, stack, top);
}

// Per step: 32 pixels in two registers, then 16 and 8; the row ends pixel by pixel.
void output_row(const Zyl16s *mapRow, Zyl8u *dst, int width)
{
    const __m256i accepted = _mm256_set1_epi16(kCannyAccepted);
    const __m128i accepted8 = _mm256_castsi256_si128(accepted);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        __m256i a = _mm256_cmpeq_epi16(load(mapRow + x), accepted);
        __m256i b = _mm256_cmpeq_epi16(load(mapRow + x + 16), accepted);
        store(dst + x, packs16_ordered(a, b));
    }
    if (x + 16 <= width) {
        __m128i a = _mm_cmpeq_epi16(sse2::load(mapRow + x), accepted8);
        __m128i b = _mm_cmpeq_epi16(sse2::load(mapRow + x + 8), accepted8);
        sse2::store(dst + x, _mm_packs_epi16(a, b));
        x += 16;
    }
    if (x + 8 <= width) {
        __m128i a = _mm_cmpeq_epi16(sse2::load(mapRow + x), accepted8);
        sse2::store8(dst + x, _mm_packs_epi16(a, a));
        x += 8;
    }
    canny_output_span(mapRow, dst, x, width);
}

// The row operations of this twin.
struct Rows {
    static void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width,
                              int stride, int low)
    {
        avx2::magnitude_row(dx, dy, mapRow, width, stride, low);
    }
    static int suppress_row(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y,
                            int width, int high, std::int32_t *stack, int top)
    {
        return avx2::suppress_row(map, stride, dx, dy, y, width, high, stack, top);
    }
    static void output_row(const Zyl16s *mapRow, Zyl8u *dst, int width)
    {
        avx2::output_row(mapRow, dst, width);
    }
};

}  // namespace

ZYLCV_CANNY_ENTRIES

}  // namespace zylcv::avx2

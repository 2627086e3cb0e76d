// SSE2 Canny kernel. Magnitudes go 8 pixels per step (two groups of four 16-bit lanes), the
// rest of a row pixel by pixel. Each row is suppressed as soon as the row below it has its
// magnitudes: 8 pixels per step, skipped when all 8 magnitudes are 0, with the direction tests
// as exact 32-bit products from pmaddwd and seeds pushed without branching; the row ends pixel
// by pixel through the same helper as the portable kernel. Hysteresis is the shared scalar
// flood; the edge map goes 16 pixels per step. Loads and stores are unaligned: map rows are
// 2 bytes off any 16-byte grid (their stride is 2 mod 8 bytes).
#include <emmintrin.h>

#include "canny.h"
#include "core/simd_sse2.h"

namespace zylcv::sse2 {
namespace {

using namespace canny;

__m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
__m128i max16(__m128i a, __m128i b) { return _mm_max_epi16(a, b); }
__m128i select(__m128i mask, __m128i a, __m128i b)
{
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// |v| as an unsigned 16-bit value: -32768 becomes 32768.
__m128i uabs16(__m128i v)
{
    const __m128i s = _mm_srai_epi16(v, 15);
    return _mm_sub_epi16(_mm_xor_si128(v, s), s);
}
// k with the sign of s (s = 0 or -1 per lane): k or -k.
__m128i signed_const(__m128i k, __m128i s) { return _mm_sub_epi16(_mm_xor_si128(k, s), s); }

// Per step: 8 pixels: |dx| + |dy| with unsigned saturation, capped at 32767, zeroed at or below
// the low threshold; the row ends pixel by pixel and the columns from the width on are zeroed.
void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width, int stride,
                   int low)
{
    const __m128i cap = _mm_set1_epi16(32767), low16 = _mm_set1_epi16(Zyl16s(low));
    Zyl16s *out = mapRow + 1;
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        __m128i s = _mm_adds_epu16(uabs16(load(dx + x)), uabs16(load(dy + x)));
        s = _mm_sub_epi16(s, _mm_subs_epu16(s, cap));
        store(out + x, _mm_and_si128(s, _mm_cmpgt_epi16(s, low16)));
    }
    for (; x < width; ++x) out[x] = canny_magnitude(dx[x], dy[x], low);
    canny_zero_entries(mapRow, width, stride);
}

// -1 in the 16-bit lanes whose 32-bit value dx*kx + dy*ky (pairs of 4 lanes each) is negative.
__m128i negative_products(__m128i gx, __m128i gy, __m128i kx, __m128i ky)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(gx, gy), _mm_unpacklo_epi16(kx, ky));
    __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(gx, gy), _mm_unpackhi_epi16(kx, ky));
    return _mm_packs_epi32(_mm_cmpgt_epi32(zero, lo), _mm_cmpgt_epi32(zero, hi));
}

// Per step: 8 pixels of image row y; the row ends through the shared helper. Returns the new
// top of the seed stack.
int suppress_row(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y, int width,
                 int high, std::int32_t *stack, int top)
{
    const std::int32_t rowOff = (y + 1) * stride + 1;
    Zyl16s *row = map + rowOff;
    const __m128i zero = _mm_setzero_si128(), high16 = _mm_set1_epi16(Zyl16s(high));
    const __m128i kVert = _mm_set1_epi16(-9889), kHorz = _mm_set1_epi16(-1697),
                  kY = _mm_set1_epi16(4096);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        Zyl16s *e = row + x;
        const __m128i m = load(e);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(m, zero)) == 0xFFFF) continue;
        // 4096|dy| - k|dx| as dx*(-k*sign dx) + dy*(4096*sign dy): exact even for -32768.
        const __m128i gx = load(dx + x), gy = load(dy + x);
        const __m128i sx = _mm_srai_epi16(gx, 15), sy = _mm_srai_epi16(gy, 15);
        const __m128i ky = signed_const(kY, sy);
        const __m128i notVert = negative_products(gx, gy, signed_const(kVert, sx), ky);
        const __m128i horz = negative_products(gx, gy, signed_const(kHorz, sx), ky);
        const __m128i crossSigns = _mm_srai_epi16(_mm_xor_si128(gx, gy), 15);
        // Rows above and the pixel to the left may already be suppressed (negative).
        const Zyl16s *up = e - stride, *dn = e + stride;
        const __m128i nDiag = select(crossSigns, max16(abs16(load(up + 1)), load(dn - 1)),
                                     max16(abs16(load(up - 1)), load(dn + 1)));
        const __m128i nHorz = max16(abs16(load(e - 1)), load(e + 1));
        const __m128i nVert = max16(abs16(load(up)), load(dn));
        const __m128i n = select(notVert, select(horz, nHorz, nDiag), nVert);
        const __m128i keep = _mm_cmpgt_epi16(m, n);
        store(e, select(keep, m, _mm_sub_epi16(zero, m)));
        const unsigned bits =
            unsigned(_mm_movemask_epi8(_mm_and_si128(keep, _mm_cmpgt_epi16(m, high16))));
        if (bits) {
            const std::int32_t off = rowOff + x;
            for (int i = 0; i < 8; ++i) {
                stack[top] = off + i;
                top += (bits >> (2 * i)) & 1;
            }
        }
    }
    return canny_suppress_span(map, stride, dx, dy, y, x, width, high, stack, top);
}

// Per step: 16 pixels, then 8; the row ends pixel by pixel.
void output_row(const Zyl16s *mapRow, Zyl8u *dst, int width)
{
    const __m128i accepted = _mm_set1_epi16(kCannyAccepted);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i a = _mm_cmpeq_epi16(load(mapRow + x), accepted);
        __m128i b = _mm_cmpeq_epi16(load(mapRow + x + 8), accepted);
        store(dst + x, _mm_packs_epi16(a, b));
    }
    for (; x + 8 <= width; x += 8) {
        __m128i a = _mm_cmpeq_epi16(load(mapRow + x), accepted);
        store8(dst + x, _mm_packs_epi16(a, a));
    }
    canny_output_span(mapRow, dst, x, width);
}

// The row operations of this twin.
struct Rows {
    static void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width,
                              int stride, int low)
    {
        sse2::magnitude_row(dx, dy, mapRow, width, stride, low);
    }
    static int suppress_row(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y,
                            int width, int high, std::int32_t *stack, int top)
    {
        return sse2::suppress_row(map, stride, dx, dy, y, width, high, stack, top);
    }
    static void output_row(const Zyl16s *mapRow, Zyl8u *dst, int width)
    {
        sse2::output_row(mapRow, dst, width);
    }
};

}  // namespace

ZYLCV_CANNY_ENTRIES

}  // namespace zylcv::sse2

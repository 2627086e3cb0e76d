// SSE2 flood-fill kernels: the same span drivers with packed row pieces. A value fill's run
// extension compares and writes 16 (8u) or 4 (32f) pixels per step while the whole block
// matches; the gradient fill's rightward extension tests and marks 16 or 4 pixels per step;
// its 8u span write stores 16 bytes per step once the destination is 16-byte aligned. Rows end
// pixel by pixel through the shared scalar pieces, so the bits are those of the portable twin.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "floodfill.h"

namespace zylcv::sse2 {
namespace {

using namespace floodfill;

struct Rows {
    // Per step: 16 pixels right of x compared with s; a fully matching block is written whole,
    // otherwise the run ends inside it. The row ends pixel by pixel.
    static int run_right(Zyl8u *r, int x, int w, Zyl8u s, Zyl8u nv)
    {
        const __m128i vs = _mm_set1_epi8(char(s)), vn = _mm_set1_epi8(char(nv));
        int n = x + 1;
        for (; n + 16 <= w; n += 16) {
            const int eq = _mm_movemask_epi8(_mm_cmpeq_epi8(load(r + n), vs));
            if (eq != 0xFFFF)
                return run_right_px(r, n - 1, n + std::countr_one(unsigned(eq)), s, nv);
            store(r + n, vn);
        }
        return run_right_px(r, n - 1, w, s, nv);
    }
    // Per step: the 16 pixels left of x, as run_right mirrored; the row start pixel by pixel.
    static int run_left(Zyl8u *r, int x, Zyl8u s, Zyl8u nv)
    {
        const __m128i vs = _mm_set1_epi8(char(s)), vn = _mm_set1_epi8(char(nv));
        int n = x;  // r[n..x] written
        for (; n >= 16; n -= 16) {
            const int eq = _mm_movemask_epi8(_mm_cmpeq_epi8(load(r + n - 16), vs));
            if (eq != 0xFFFF) {
                const int k = std::countl_one(unsigned(eq) << 16);  // matching pixels next to n
                span_write_px(r, n - k, n - 1, nv);
                return n - k;
            }
            store(r + n - 16, vn);
        }
        return run_left_px(r, n, s, nv);
    }
    // 32f: per step 4 pixels, a pixel failing when it is less or greater than s.
    static int run_right(Zyl32f *r, int x, int w, Zyl32f s, Zyl32f nv)
    {
        const __m128 vs = _mm_set1_ps(s), vn = _mm_set1_ps(nv);
        int n = x + 1;
        for (; n + 4 <= w; n += 4) {
            const __m128 v = _mm_loadu_ps(r + n);
            const int bad = _mm_movemask_ps(_mm_or_ps(_mm_cmplt_ps(v, vs), _mm_cmpgt_ps(v, vs)));
            if (bad) return run_right_px(r, n - 1, n + std::countr_zero(unsigned(bad)), s, nv);
            _mm_storeu_ps(r + n, vn);
        }
        return run_right_px(r, n - 1, w, s, nv);
    }
    static int run_left(Zyl32f *r, int x, Zyl32f s, Zyl32f nv)
    {
        const __m128 vs = _mm_set1_ps(s), vn = _mm_set1_ps(nv);
        int n = x;
        for (; n >= 4; n -= 4) {
            const __m128 v = _mm_loadu_ps(r + n - 4);
            const int bad = _mm_movemask_ps(_mm_or_ps(_mm_cmplt_ps(v, vs), _mm_cmpgt_ps(v, vs)));
            if (bad) {
                const int k = std::countl_zero(unsigned(bad) << 28);  // matching pixels next to n
                span_write_px(r, n - k, n - 1, nv);
                return n - k;
            }
            _mm_storeu_ps(r + n - 4, vn);
        }
        return run_left_px(r, n, s, nv);
    }

    // Gradient scans: 16 mask bytes per step until one is 0; the range ends byte by byte.
    static int next_free(const Zyl8u *mk, int x, int b)
    {
        const __m128i zero = _mm_setzero_si128();
        for (; x + 16 <= b + 1; x += 16) {
            const int z = _mm_movemask_epi8(_mm_cmpeq_epi8(load(mk + x), zero));
            if (z) return x + std::countr_zero(unsigned(z));
        }
        return next_free_px(mk, x, b);
    }

    // Gradient extension to the right, 16 pixels per step: a pixel passes when its mask byte is 0
    // and it passes against its left neighbour ((c - n + low) in 16-bit lanes, at most low + up
    // as an unsigned number); a fully passing block is marked whole, otherwise the run ends
    // inside it. Blocks stay inside the row (x + 16 < w); the row ends pixel by pixel.
    static int grad_run(const Zyl8u *c, Zyl8u *mk, int x, int w, GradTest8u ok)
    {
        const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
        const __m128i low = _mm_set1_epi16(short(ok.low)), range = _mm_set1_epi16(short(ok.range));
        for (; x + 16 < w; x += 16) {
            const __m128i cur = load(c + x + 1), prev = load(c + x);
            const __m128i d0 = _mm_add_epi16(
                _mm_sub_epi16(_mm_unpacklo_epi8(cur, zero), _mm_unpacklo_epi8(prev, zero)), low);
            const __m128i d1 = _mm_add_epi16(
                _mm_sub_epi16(_mm_unpackhi_epi8(cur, zero), _mm_unpackhi_epi8(prev, zero)), low);
            const __m128i pass = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_subs_epu16(d0, range), zero),
                                                 _mm_cmpeq_epi16(_mm_subs_epu16(d1, range), zero));
            const __m128i free = _mm_cmpeq_epi8(load(mk + x + 1), zero);
            const int bits = _mm_movemask_epi8(_mm_and_si128(pass, free));
            if (bits != 0xFFFF) {
                const int k = std::countr_one(unsigned(bits));
                for (int i = 1; i <= k; ++i) mk[x + i] = 1;
                return x + k;
            }
            store(mk + x + 1, one);
        }
        return grad_run_px(c, mk, x, ok);
    }
    // 32f: 4 pixels per step, the mask bytes tested 4 at a time.
    static int grad_run(const Zyl32f *c, Zyl8u *mk, int x, int w, GradTest32f ok)
    {
        const __m128 mid = _mm_set1_ps(ok.mid), half = _mm_set1_ps(ok.half);
        const __m128 abs = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        for (; x + 4 < w; x += 4) {
            const __m128 t =
                _mm_sub_ps(_mm_add_ps(_mm_loadu_ps(c + x + 1), mid), _mm_loadu_ps(c + x));
            const int fail = _mm_movemask_ps(_mm_cmpgt_ps(_mm_and_ps(t, abs), half));
            const int free = _mm_movemask_epi8(_mm_cmpeq_epi8(
                _mm_cvtsi32_si128(reinterpret_cast<const UnalignedI32 *>(mk + x + 1)->v),
                _mm_setzero_si128()));
            const int bits = ~fail & free & 0xF;
            if (bits != 0xF) {
                const int k = std::countr_one(unsigned(bits));
                for (int i = 1; i <= k; ++i) mk[x + i] = 1;
                return x + k;
            }
            reinterpret_cast<UnalignedI32 *>(mk + x + 1)->v = 0x01010101;
        }
        return grad_run_px(c, mk, x, ok);
    }

    // Byte stores up to a 16-byte boundary, aligned 16-byte stores, byte stores to the end.
    static void span_write(Zyl8u *r, int x0, int x1, Zyl8u nv)
    {
        Zyl8u *p = r + x0, *end = r + x1 + 1;
        if (end - p >= 16) {
            while (!aligned16(p)) *p++ = nv;
            const __m128i vn = _mm_set1_epi8(char(nv));
            for (; end - p >= 16; p += 16) store<Aligned>(p, vn);
        }
        while (p < end) *p++ = nv;
    }
    // 32f: 4 pixels per store.
    static void span_write(Zyl32f *r, int x0, int x1, Zyl32f nv)
    {
        const __m128 vn = _mm_set1_ps(nv);
        int x = x0;
        for (; x + 4 <= x1 + 1; x += 4) _mm_storeu_ps(r + x, vn);
        span_write_px(r, x, x1, nv);
    }
};

}  // namespace
ZYLCV_FLOODFILL_ENTRIES

}  // namespace zylcv::sse2

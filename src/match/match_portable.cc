// Portable template-matching kernels: the integer block sums one element per step in 64-bit
// (or, for the pixel sums, wrapping 32-bit) integers, the shared 32f block sums, and the column
// driver on top of them.
#include "match.h"

namespace zylcv::portable {

// The wrapped 32-bit total of the bytes; 8s bytes are biased by +128 and the bias removed at
// the end, both modulo 2^32.
Zyl32s sum_pixels(const Zyl8u *p, int len)
{
    std::uint32_t s = 0;
    for (int i = 0; i < len; ++i) s += p[i];
    return Zyl32s(s);
}
Zyl32s sum_pixels(const Zyl8s *p, int len)
{
    std::uint32_t s = 0;
    for (int i = 0; i < len; ++i) s += std::uint32_t(p[i] + 128);
    return Zyl32s(s - 128u * std::uint32_t(len));
}
double sum_pixels(const Zyl32f *p, int len) { return sum_run_32f(p, len); }

// Per step: one square or product added into a 64-bit total; exact for any length.
template <class T> long long l2_exact(const T *a, const T *b, int len)
{
    long long s = 0;
    for (int i = 0; i < len; ++i) {
        const int d = int(a[i]) - int(b[i]);
        s += d * d;
    }
    return s;
}
template <class T> long long cc_exact(const T *a, const T *b, int len)
{
    long long s = 0;
    for (int i = 0; i < len; ++i) s += int(a[i]) * int(b[i]);
    return s;
}

long long cmp_blocks_l2(const Zyl8u *a, const Zyl8u *b, int len) { return l2_exact(a, b, len); }
long long cmp_blocks_l2(const Zyl8s *a, const Zyl8s *b, int len) { return l2_exact(a, b, len); }
double cmp_blocks_l2(const Zyl32f *a, const Zyl32f *b, int len) { return l2_run_32f(a, b, len); }
long long cross_corr(const Zyl8u *a, const Zyl8u *b, int len) { return cc_exact(a, b, len); }
long long cross_corr(const Zyl8s *a, const Zyl8s *b, int len) { return cc_exact(a, b, len); }
double cross_corr(const Zyl32f *a, const Zyl32f *b, int len) { return cc_run_32f(a, b, len); }

namespace {
// This twin's block kernels, as the column driver calls them.
struct Blocks {
    template <class T> static auto sum(const T *p, int n) { return sum_pixels(p, n); }
    template <class T> static auto l2(const T *a, const T *b, int n) { return cmp_blocks_l2(a, b, n); }
    template <class T> static auto cc(const T *a, const T *b, int n) { return cross_corr(a, b, n); }
};
}  // namespace

void match_template(int method, const Zyl8u *src, int srcStep, int W, int H, const Zyl8u *tpl,
                    int tplStep, int w, int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)
{
    match_dispatch<Blocks>(method, src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep, buffer);
}
void match_template(int method, const Zyl8s *src, int srcStep, int W, int H, const Zyl8s *tpl,
                    int tplStep, int w, int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)
{
    match_dispatch<Blocks>(method, src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep, buffer);
}
void match_template(int method, const Zyl32f *src, int srcStep, int W, int H, const Zyl32f *tpl,
                    int tplStep, int w, int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)
{
    match_dispatch<Blocks>(method, src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep, buffer);
}

}  // namespace zylcv::portable

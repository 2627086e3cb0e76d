// Portable norm kernels: one pixel per step through the shared helpers.
#include "norm.h"

namespace zylcv::portable {
using namespace norms;

namespace {

// Element x of a row: every element of a one-channel row, or the chosen one of three.
template <class T> struct Channel {
    int stride, offset;
    T operator()(const T *row, int x) const { return row[x * stride + offset]; }
};

// Per step: one pixel whose mask byte is set adds its magnitude(s); integer reductions are
// exact, so rows simply end at their last pixel.
template <NormKind K, NormTerm R, class T>
double int_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep, int w,
                int h, Channel<T> ch)
{
    IntTotal<K> n, d;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!m[x]) continue;
            if constexpr (R == NormTerm::Value) {
                n.add(magnitude(ch(a, x)));
            } else {
                n.add(magnitude(ch(a, x), ch(b, x)));
                if constexpr (R == NormTerm::Rel) d.add(magnitude(ch(b, x)));
            }
        }
        a = advance(a, aStep);
        if constexpr (R != NormTerm::Value) b = advance(b, bStep);
        m = advance(m, mStep);
    }
    if constexpr (R == NormTerm::Rel) return int_rel<K>(n.v, d.v);
    else return int_norm<K>(n.v);
}

// Single-precision numerator and denominator terms of pixel x (0 when it is not selected).
template <NormKind K, NormTerm R, class T>
void f32_terms(const T *a, const T *b, const Zyl8u *m, int x, Channel<T> ch, float &tn, float &td)
{
    tn = td = 0.0f;
    if (!m[x]) return;
    if constexpr (R == NormTerm::Value) {
        tn = f32_term<K>(ch(a, x));
    } else {
        tn = f32_term<K>(ch(a, x) - ch(b, x));
        if constexpr (R == NormTerm::Rel) td = f32_term<K>(ch(b, x));
    }
}

// Per step: a group of eight pixels into the four partial sums (or the largest term); the row
// ends pixel by pixel into P0.
template <NormKind K, NormTerm R, bool C3>
double f32_rows(const Zyl32f *a, int aStep, const Zyl32f *b, int bStep, const Zyl8u *m, int mStep,
                int w, int h, Channel<Zyl32f> ch)
{
    constexpr SumScheme s = sum_scheme(R, K, C3);
    Partials pn, pd;
    float maxN = 0.0f, maxD = 0.0f;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if constexpr (K != NormKind::Inf) {
            for (; x + 8 <= w; x += 8) {
                float tn[8], td[8];
                for (int j = 0; j < 8; ++j) f32_terms<K, R>(a, b, m, x + j, ch, tn[j], td[j]);
                pn.add_group<s.update>(tn);
                if constexpr (R == NormTerm::Rel) pd.add_group<s.update>(td);
            }
        }
        for (; x < w; ++x) {
            float tn, td;
            f32_terms<K, R>(a, b, m, x, ch, tn, td);
            if constexpr (K == NormKind::Inf) {
                maxN = larger(tn, maxN);
                maxD = larger(td, maxD);
            } else {
                pn.add_single(tn);
                pd.add_single(td);
            }
        }
        a = advance(a, aStep);
        if constexpr (R != NormTerm::Value) b = advance(b, bStep);
        m = advance(m, mStep);
    }
    if constexpr (K == NormKind::Inf) {
        if constexpr (R == NormTerm::Rel) return f32_rel<K>(maxN, maxD);
        else return f32_norm<K>(maxN);
    } else {
        if constexpr (R == NormTerm::Rel) return f32_rel<K>(pn.total<s.final>(), pd.total<s.final>());
        else return f32_norm<K>(pn.total<s.final>());
    }
}

template <class T>
double run(NormKind kind, NormTerm term, const T *a, int aStep, const T *b, int bStep,
           const Zyl8u *m, int mStep, int w, int h, int coi)
{
    const Channel<T> ch{coi ? 3 : 1, coi ? coi - 1 : 0};
    return with_kind_term(kind, term, [&]<NormKind K, NormTerm R>() {
        if constexpr (std::is_same_v<T, Zyl32f>) {
            if (coi) return f32_rows<K, R, true>(a, aStep, b, bStep, m, mStep, w, h, ch);
            return f32_rows<K, R, false>(a, aStep, b, bStep, m, mStep, w, h, ch);
        } else {
            return int_rows<K, R>(a, aStep, b, bStep, m, mStep, w, h, ch);
        }
    });
}

}  // namespace

double norm(NormKind k, NormTerm r, const Zyl8u *a, int aStep, const Zyl8u *b, int bStep,
            const Zyl8u *m, int mStep, int w, int h, int coi)
{
    return run(k, r, a, aStep, b, bStep, m, mStep, w, h, coi);
}
double norm(NormKind k, NormTerm r, const Zyl8s *a, int aStep, const Zyl8s *b, int bStep,
            const Zyl8u *m, int mStep, int w, int h, int coi)
{
    return run(k, r, a, aStep, b, bStep, m, mStep, w, h, coi);
}
double norm(NormKind k, NormTerm r, const Zyl32f *a, int aStep, const Zyl32f *b, int bStep,
            const Zyl8u *m, int mStep, int w, int h, int coi)
{
    return run(k, r, a, aStep, b, bStep, m, mStep, w, h, coi);
}

}  // namespace zylcv::portable

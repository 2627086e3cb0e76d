// Template matching: all six methods for 8u, 8s and 32f sources. The work buffer is exactly the
// size the method's query reports (the query is checked against its layout rule), at any
// alignment; images end at the end of their allocations. 8-bit scores must equal a model of the
// definition (exact window sums, scores formed in double with the defined reciprocal square
// root); a template larger than the image is refused and writes nothing; the portable twin
// agrees with the SSE2 one on every input, 32f NaNs and infinities included.
#include "fuzz_support.h"
#include "match/match.h"

namespace {

using fz::Image;
using fz::Input;

enum Method { SqDiff, SqDiffNormed, Corr, CorrNormed, Coeff, CoeffNormed };
const char *const kNames[] = {"SqDiff",     "SqDiffNormed", "Corr",
                              "CorrNormed", "Coeff",        "CoeffNormed"};

using QueryFn = ZylStatus (*)(ZyliSize, ZyliSize, Zyl32s, Zyl32s *);
const QueryFn kQueries[6] = {
    zyliMatchTemplateGetBufSize_SqDiff, zyliMatchTemplateGetBufSize_SqDiffNormed,
    zyliMatchTemplateGetBufSize_Corr,   zyliMatchTemplateGetBufSize_CorrNormed,
    zyliMatchTemplateGetBufSize_Coeff,  zyliMatchTemplateGetBufSize_CoeffNormed};

template <class T>
using MatchFn = ZylStatus (*)(const T *, Zyl32s, ZyliSize, const T *, Zyl32s, ZyliSize, Zyl32f *,
                              Zyl32s, Zyl8u *);
#define ZYLCV_FUZZ_MEMBERS(Sfx)                                                                    \
    {                                                                                              \
        zyliMatchTemplate_SqDiff_##Sfx, zyliMatchTemplate_SqDiffNormed_##Sfx,                      \
            zyliMatchTemplate_Corr_##Sfx, zyliMatchTemplate_CorrNormed_##Sfx,                      \
            zyliMatchTemplate_Coeff_##Sfx, zyliMatchTemplate_CoeffNormed_##Sfx                     \
    }
const MatchFn<Zyl8u> kMembers8u[6] = ZYLCV_FUZZ_MEMBERS(8u32f_C1R);
const MatchFn<Zyl8s> kMembers8s[6] = ZYLCV_FUZZ_MEMBERS(8s32f_C1R);
const MatchFn<Zyl32f> kMembers32f[6] = ZYLCV_FUZZ_MEMBERS(32f_C1R);
#undef ZYLCV_FUZZ_MEMBERS

template <class T> MatchFn<T> member(int m)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return kMembers8u[m];
    else if constexpr (std::is_same_v<T, Zyl8s>) return kMembers8s[m];
    else return kMembers32f[m];
}
template <class T> constexpr Zyl32s type_code()
{
    return std::is_same_v<T, Zyl8u> ? 1 : std::is_same_v<T, Zyl8s> ? 2 : 9;
}

// Buffer bytes from the layout rule: 32 for rounding the start up, then each region rounded as
// (n + 47) with the low five bits cleared.
long long buffer_rule(int m, int W, int H, int w, int h, int e)
{
    auto A = [](long long n) { return (n + 47) & ~31LL; };
    const long long rows = H - h + 1;
    long long s = 32 + A(e * (long long)w * h) + A(e * ((long long)H * w + W)) + A(8 * rows);
    if (m != SqDiff && m != Corr) s += 2 * A(8LL * H) + A(8 * rows * (m == CoeffNormed ? 2 : 1));
    return s;
}

// ---- the 8-bit model --------------------------------------------------------------------------

// The reciprocal square root: a seed from the 32f pattern of d, then four Newton steps in double.
double rs(double d)
{
    const float f = float(d);
    const std::uint32_t seedBits = (0xBE6F0000u - fz::bits_of(f)) >> 1;
    double s = fz::float_of(seedBits);
    const double hd = 0.5 * d;
    for (int i = 0; i < 4; ++i) s = s * (1.5 - hd * s * s);
    return s;
}

template <class T> float model_score(int m, const Image<T> &src, const Image<T> &tpl, int x, int y)
{
    const int w = tpl.width(), h = tpl.height();
    const long long N = (long long)w * h;
    long long ssd = 0, cc = 0, si = 0, qi = 0, st = 0, qt = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const long long a = src.at(x + i, y + j), b = tpl.at(i, j);
            ssd += (a - b) * (a - b), cc += a * b, si += a, qi += a * a, st += b, qt += b * b;
        }
    const double eps = 1.1920928955078125e-07, invN = 1.0 / (double(N) + 2.220446049250313e-16);
    switch (m) {
    case SqDiff:
        return float(double(ssd));
    case Corr:
        return float(double(cc));
    case SqDiffNormed:
    case CorrNormed: {
        const double invT = rs(std::fabs(double(qt)) + eps), invI = rs(std::fabs(double(qi)) + eps);
        return float((double(m == SqDiffNormed ? ssd : cc) * invT) * invI);
    }
    case Coeff: {
        const double k = (-invN) * double(st);
        return float(double(si) * k + double(cc));
    }
    default: {
        const double mean = double(si) * invN;
        const double num = (-double(st)) * mean + double(cc);
        const double invI = rs(std::fabs(double(qi) - double(si) * mean) + eps);
        const double invT = rs(std::fabs(double(st) * double(st) * (-invN) + double(qt)) + eps);
        return float(num * (invI * invT));
    }
    }
}

// ---- the checks -------------------------------------------------------------------------------

template <class T> T pixel(Input &in, int mode)
{
    if constexpr (std::is_same_v<T, Zyl32f>)
        return mode == 0 ? float(in.range(-64, 64)) : fz::any_float(in);
    else
        return mode == 0   ? T(in.byte() & 7)
               : mode == 1 ? T(in.pick({0, 255, 127, 128}))
                           : T(in.byte());
}

template <class T> void run(Input &in, int m)
{
    const int W = in.range(1, 28), H = in.range(1, 28);
    int w = in.range(1, W), h = in.range(1, H);
    const bool tooBig = in.chance(8);
    if (tooBig) {
        if (in.flag()) w = W + in.range(1, 3);
        else h = H + in.range(1, 3);
    }
    const fz::Geometry gs = fz::any_geometry<T>(in), gt = fz::any_geometry<T>(in),
                       gd = fz::any_geometry<Zyl32f>(in);
    const int bufLead = in.range(0, 31), mode = in.range(0, 2);

    Image<T> src(W, H, 1, gs.pad, gs.lead), tpl(w, h, 1, gt.pad, gt.lead);
    for (Image<T> *img : {&src, &tpl})
        for (int y = 0; y < img->height(); ++y)
            for (int x = 0; x < img->width(); ++x) img->at(x, y) = pixel<T>(in, mode);
    const auto srcBefore = src.snapshot(), tplBefore = tpl.snapshot();
    const int dW = std::max(W - w + 1, 1), dH = std::max(H - h + 1, 1);
    Image<Zyl32f> dst(dW, dH, 1, gd.pad, gd.lead);
    const auto dstBefore = dst.snapshot();

    Zyl32s size = -1;
    const ZylStatus qs = kQueries[m]({W, H}, {w, h}, type_code<T>(), &size);
    if (tooBig) {
        FZ_CHECK(qs == zylStatusBadSize && size == 0,
                 "%s query with a template larger than the image: status %d size %d", kNames[m], qs,
                 size);
        fz::Block buffer(64);
        const ZylStatus st = member<T>(m)(src.data(), src.step(), {W, H}, tpl.data(), tpl.step(),
                                          {w, h}, dst.data(), dst.step(), buffer.data());
        FZ_CHECK(st == zylStatusBadSize, "%s with a %dx%d template on %dx%d: status %d", kNames[m],
                 w, h, W, H, st);
        FZ_CHECK(dst.unchanged_since(dstBefore), "refused %s wrote its destination", kNames[m]);
        return;
    }
    const long long rule = buffer_rule(m, W, H, w, h, int(sizeof(T)));
    FZ_CHECK(qs == zylStatusOk && size == rule,
             "%s query %dx%d / %dx%d type %d: status %d size %d, want %lld", kNames[m], W, H, w, h,
             type_code<T>(), qs, size, rule);
    fz::Block block(std::size_t(bufLead) + std::size_t(size));

    const ZylStatus st = member<T>(m)(src.data(), src.step(), {W, H}, tpl.data(), tpl.step(),
                                      {w, h}, dst.data(), dst.step(), block.data() + bufLead);
    FZ_CHECK(st == zylStatusOk, "%s %dx%d / %dx%d: status %d", kNames[m], W, H, w, h, st);
    FZ_CHECK(src.unchanged_since(srcBefore) && tpl.unchanged_since(tplBefore),
             "%s changed its source or template", kNames[m]);
    FZ_CHECK(dst.outside_roi_unchanged(dstBefore), "%s wrote outside its destination ROI",
             kNames[m]);

    if constexpr (!std::is_same_v<T, Zyl32f>) {
        for (int y = 0; y < dH; ++y)
            for (int x = 0; x < dW; ++x) {
                const float want = model_score(m, src, tpl, x, y), got = dst.at(x, y);
                FZ_CHECK(fz::bits_of(got) == fz::bits_of(want),
                         "%s type %d %dx%d / %dx%d: score (%d,%d) is %.9g, want %.9g", kNames[m],
                         type_code<T>(), W, H, w, h, x, y, double(got), double(want));
            }
    }

#if ZYLCV_SIMD
    fz::Block block2(std::size_t(bufLead) + std::size_t(size));
    Image<Zyl32f> dst2(dW, dH, 1, gd.pad, gd.lead);
    using Method = zylcv::match::MatchMethod;
    using Fn = void (*)(const T *, int, int, int, const T *, int, int, int, Zyl32f *, int, Zyl8u *);
    const Fn portable[] = {zylcv::portable::match_template<Method::SqDiff, T>,
                           zylcv::portable::match_template<Method::SqDiffNormed, T>,
                           zylcv::portable::match_template<Method::Corr, T>,
                           zylcv::portable::match_template<Method::CorrNormed, T>,
                           zylcv::portable::match_template<Method::Coeff, T>,
                           zylcv::portable::match_template<Method::CoeffNormed, T>};
    portable[m](src.data(), src.step(), W, H, tpl.data(), tpl.step(), w, h, dst2.data(),
                dst2.step(), block2.data() + bufLead);
    FZ_CHECK(dst2.roi_bytes() == dst.roi_bytes(),
             "twins: portable and SSE2 %s type %d differ at byte %ld", kNames[m], type_code<T>(),
             fz::first_difference(dst2.roi_bytes(), dst.roi_bytes()));
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int mode = in.byte(), m = mode % 6;
    switch ((mode / 6) % 3) {
    case 0:
        run<Zyl8u>(in, m);
        break;
    case 1:
        run<Zyl8s>(in, m);
        break;
    default:
        run<Zyl32f>(in, m);
        break;
    }
    return 0;
}

// Gaussian 5x5 pyramids, PyrDown and PyrUp, 8u/8s/32f, one and three channels. The work buffer
// is exactly the size its query reports (the query is checked against its formula), placed at
// any alignment; source and destination end at the end of their allocations. Integer results,
// and 32f results of small integer images (whose sums are exact whatever the order), must equal
// a model of the definition; the source stays unchanged; refused sizes and steps write nothing;
// the portable twin agrees with the SSE2 one on every input, NaNs and infinities included.
#include "fuzz_support.h"
#include "pyramid/pyramid.h"

namespace {

using fz::Image;
using fz::Input;

template <class T> constexpr Zyl32s type_code()
{
    return std::is_same_v<T, Zyl8u> ? 1 : std::is_same_v<T, Zyl8s> ? 2 : 9;
}

template <class T> using PyrFn = ZylStatus (*)(const T *, Zyl32s, T *, Zyl32s, ZyliSize, Zyl8u *);

template <class T> PyrFn<T> member(bool up, int C)
{
    if constexpr (std::is_same_v<T, Zyl8u>)
        return up ? (C == 1 ? zyliPyrUp_Gauss5x5_8u_C1R : zyliPyrUp_Gauss5x5_8u_C3R)
                  : (C == 1 ? zyliPyrDown_Gauss5x5_8u_C1R : zyliPyrDown_Gauss5x5_8u_C3R);
    else if constexpr (std::is_same_v<T, Zyl8s>)
        return up ? (C == 1 ? zyliPyrUp_Gauss5x5_8s_C1R : zyliPyrUp_Gauss5x5_8s_C3R)
                  : (C == 1 ? zyliPyrDown_Gauss5x5_8s_C1R : zyliPyrDown_Gauss5x5_8s_C3R);
    else
        return up ? (C == 1 ? zyliPyrUp_Gauss5x5_32f_C1R : zyliPyrUp_Gauss5x5_32f_C3R)
                  : (C == 1 ? zyliPyrDown_Gauss5x5_32f_C1R : zyliPyrDown_Gauss5x5_32f_C3R);
}

long r16(long n) { return (n + 15) & ~15L; }

// ---- the model --------------------------------------------------------------------------------

// PyrDown borders: mirrored without repeating the edge pixel, applied again while outside
// (which matters only for n = 2).
int mirror_down(int i, int n)
{
    while (i < 0 || i >= n) i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}
// PyrUp borders: the left and top mirrored, the right and bottom replicated; with n = 1 both
// read 0.
int border_up(int i, int n)
{
    if (i < 0) i = n > 1 ? -i : 0;
    return i >= n ? n - 1 : i;
}

// v as the integer sum of weights times pixels (8-bit, or 32f holding small integers).
template <class T> T scale_down(double v)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return float(v) * 0.00390625f;
    else return T(int(std::floor((v + 128.0) / 256.0)));
}
template <class T> T scale_up(double v)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return float(v) * 0.015625f;
    else return T(int(std::floor((v + 32.0) / 64.0)));
}

template <class T> Image<T> model_down(const Image<T> &src)
{
    static const int k[5] = {1, 4, 6, 4, 1};
    const int W = src.width(), H = src.height(), C = src.channels();
    Image<T> out(W / 2, H / 2, C);
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W / 2; ++x)
            for (int c = 0; c < C; ++c) {
                double v = 0;
                for (int j = 0; j < 5; ++j)
                    for (int i = 0; i < 5; ++i)
                        v += k[j] * k[i] *
                             double(src.at(mirror_down(2 * x + i - 2, W),
                                           mirror_down(2 * y + j - 2, H), c));
                out.at(x, y, c) = scale_down<T>(v);
            }
    return out;
}

template <class T> Image<T> model_up(const Image<T> &src)
{
    const int W = src.width(), H = src.height(), C = src.channels();
    // Output column X takes source columns (X - 1) / 2 ... : even columns 1 6 1 around X / 2,
    // odd columns 4 4 at X / 2 and X / 2 + 1 (the zero-inserted signal smoothed with 1 4 6 4 1).
    auto taps = [](int X, int n, auto border, int *idx, int *wt) {
        const int i = X / 2;
        if (X % 2 == 0) {
            idx[0] = border(i - 1, n), idx[1] = border(i, n), idx[2] = border(i + 1, n);
            wt[0] = 1, wt[1] = 6, wt[2] = 1;
        } else {
            idx[0] = border(i, n), idx[1] = border(i + 1, n), idx[2] = 0;
            wt[0] = 4, wt[1] = 4, wt[2] = 0;
        }
    };
    Image<T> out(2 * W, 2 * H, C);
    for (int Y = 0; Y < 2 * H; ++Y)
        for (int X = 0; X < 2 * W; ++X) {
            int xi[3], xw[3], yi[3], yw[3];
            taps(X, W, border_up, xi, xw);
            taps(Y, H, border_up, yi, yw);
            for (int c = 0; c < C; ++c) {
                double v = 0;
                for (int j = 0; j < 3; ++j)
                    for (int i = 0; i < 3; ++i)
                        v += yw[j] * xw[i] * double(src.at(xi[i], yi[j], c));
                out.at(X, Y, c) = scale_up<T>(v);
            }
        }
    return out;
}

// ---- the checks -------------------------------------------------------------------------------

template <class T> T pixel(Input &in, bool smallInts)
{
    if constexpr (std::is_same_v<T, Zyl32f>)
        return smallInts ? float(in.range(-512, 512)) : fz::any_float(in);
    else return T(in.byte());
}

template <class T> void run(Input &in, bool up, int C)
{
    // PyrDown needs even sizes; now and then an odd one checks that it is refused.
    const bool odd = !up && in.chance(8);
    int W = in.range(0, 24), H = in.range(0, 24);
    if (!up) W = 2 * (W / 2), H = 2 * (H / 2);
    if (odd) (in.flag() ? W : H) += 1;
    const fz::Geometry gs = fz::any_geometry<T>(in), gd = fz::any_geometry<T>(in);
    const int bufLead = in.range(0, 31);
    const bool smallInts = in.flag();
    bool shortStep = in.chance(6);

    Zyl32s size = -1;
    const ZylStatus qs = up ? zyliPyrUpGetBufSize_Gauss5x5(W, type_code<T>(), C, &size)
                            : zyliPyrDownGetBufSize_Gauss5x5(W - W % 2, type_code<T>(), C, &size);
    const int Wq = W - W % 2;
    const long want_size =
        up ? 3 * r16(long(C) * (8L * W + 96))
           : 6 * r16(long(C) * (sizeof(T) == 4 ? 4L * (Wq / 2) + 96 : 2L * (Wq / 2) + 48));
    FZ_CHECK(qs == zylStatusOk && size == want_size,
             "pyramid query up=%d W=%d type %d C=%d: status %d size %d, want %ld", up, W,
             type_code<T>(), C, qs, size, want_size);
    fz::Block block(std::size_t(bufLead) + std::size_t(size));
    Zyl8u *buffer = block.data() + bufLead;

    Image<T> src(W, H, C, gs.pad, gs.lead);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W * C; ++x) src.row(y)[x] = pixel<T>(in, smallInts);
    const int dW = up ? 2 * W : W / 2, dH = up ? 2 * H : H / 2;
    Image<T> dst(dW, dH, C, gd.pad, gd.lead);
    const auto srcBefore = src.snapshot(), dstBefore = dst.snapshot();

    // A destination step one element short of a row is refused (only tried on unpadded rows).
    shortStep = shortStep && gd.pad == 0 && dW > 0;
    const int dstStep = dst.step() - (shortStep ? int(sizeof(T)) : 0);
    const ZylStatus st =
        member<T>(up, C)(src.data(), src.step(), dst.data(), dstStep, {W, H}, buffer);
    FZ_CHECK(src.unchanged_since(srcBefore), "pyramid up=%d changed its source", up);
    const bool refused = odd || shortStep;
    if (refused || W == 0 || H == 0) {
        FZ_CHECK(st == (refused ? zylStatusBadSize : zylStatusOk),
                 "pyramid up=%d %dx%d: status %d, want %d", up, W, H, st,
                 refused ? zylStatusBadSize : zylStatusOk);
        FZ_CHECK(dst.unchanged_since(dstBefore),
                 "pyramid up=%d %dx%d (status %d) wrote its destination", up, W, H, st);
        return;
    }
    FZ_CHECK(st == zylStatusOk, "pyramid up=%d %dx%d C=%d: status %d", up, W, H, C, st);
    FZ_CHECK(dst.outside_roi_unchanged(dstBefore),
             "pyramid up=%d wrote outside its destination ROI", up);
    const std::vector<std::uint8_t> got = dst.roi_bytes();

    if (!std::is_same_v<T, Zyl32f> || smallInts) {
        const std::vector<std::uint8_t> want = (up ? model_up(src) : model_down(src)).roi_bytes();
        const long at = fz::first_difference(got, want);
        const long px = at / long(sizeof(T));
        FZ_CHECK(at < 0,
                 "pyramid up=%d type %d C=%d %dx%d: element (%ld,%ld) differs from the definition",
                 up, type_code<T>(), C, W, H, px % (dW * C), px / (dW * C));
    }

#if ZYLCV_SIMD
    fz::Block block2(std::size_t(bufLead) + std::size_t(size));
    Image<T> dst2(dW, dH, C, gd.pad, gd.lead);
    if (up)
        zylcv::portable::pyr_up(src.data(), src.step(), dst2.data(), dst2.step(), W, H, C,
                                block2.data() + bufLead);
    else
        zylcv::portable::pyr_down(src.data(), src.step(), dst2.data(), dst2.step(), W, H, C,
                                  block2.data() + bufLead);
    FZ_CHECK(dst2.roi_bytes() == got,
             "twins: portable and SSE2 pyramid up=%d type %d C=%d differ at byte %ld", up,
             type_code<T>(), C, fz::first_difference(dst2.roi_bytes(), got));
    FZ_CHECK(src.unchanged_since(srcBefore), "portable pyramid changed its source");
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int mode = in.byte();
    const bool up = mode & 1;
    const int C = mode & 2 ? 3 : 1;
    switch ((mode >> 2) % 3) {
    case 0:
        run<Zyl8u>(in, up, C);
        break;
    case 1:
        run<Zyl8s>(in, up, C);
        break;
    default:
        run<Zyl32f>(in, up, C);
        break;
    }
    return 0;
}

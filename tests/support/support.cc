#include "support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#if ZYLCV_AVX2
#include "core/cpu.h"
#endif

namespace zt {

std::vector<Twin> twins()
{
#if ZYLCV_AVX2
    static const bool avx2 = [] {
        const bool usable = zylcv::cpu::avx2_usable(zylcv::cpu::read());
        if (!usable) std::printf("note: this CPU lacks AVX2; the AVX2 twin is not tested\n");
        return usable;
    }();
    if (avx2) return {Twin::Portable, Twin::Sse2, Twin::Avx2};
#endif
#if ZYLCV_SIMD
    return {Twin::Portable, Twin::Sse2};
#else
    return {Twin::Portable};
#endif
}

std::string seed_note(std::uint32_t seed) { return "random seed " + std::to_string(seed); }

std::vector<float> special_floats()
{
    auto f = [](std::uint32_t b) {
        float v;
        std::memcpy(&v, &b, 4);
        return v;
    };
    return {0.0f,
            -0.0f,
            std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(),
            f(0x7FC00000u),
            f(0xFFC00000u),
            f(0x7F800001u) /* signalling */,
            f(0xFFA5A5A5u),
            f(0x00000001u),
            f(0x80000001u),
            f(0x007FFFFFu),
            std::numeric_limits<float>::max(),
            -std::numeric_limits<float>::max(),
            std::numeric_limits<float>::min(),
            1.0f,
            -1.0f};
}

float random_float(Rng &rng, double specialShare)
{
    static const std::vector<float> specials = special_floats();
    if (rng.chance(specialShare)) return specials[rng.uniform(0, int(specials.size()) - 1)];
    // Mixed magnitudes: a random mantissa scaled by 2^e with e in -20..20, either sign.
    float m = rng.real(1.0f, 2.0f);
    float v = std::ldexp(m, rng.uniform(-20, 20));
    return rng.chance(0.5) ? -v : v;
}

template <class T> Layout random_layout(Rng &rng, int maxW, int maxH, int channels)
{
    Layout l;
    l.width = rng.uniform(1, maxW);
    l.height = rng.uniform(1, maxH);
    l.channels = channels;
    int e = int(sizeof(T));
    // Steps that are multiples of 32 now and then, so that the widest aligned paths run too.
    const int rowBytes = l.width * channels * e;
    l.padBytes = rng.chance(0.3)   ? 0
                 : rng.chance(0.3) ? (32 - rowBytes % 32) % 32
                                   : e * rng.uniform(0, 40);
    l.offset = rng.chance(0.3) ? 0 : (e * rng.uniform(0, 31)) % 32;
    return l;
}

// ---- Image ------------------------------------------------------------------------------

template <class T> Image<T>::Image(const Layout &l, std::uint8_t canary) : layout_(l)
{
    std::size_t rowBytes = std::size_t(l.width) * l.channels * sizeof(T);
    step_ = int(rowBytes) + l.padBytes;
    // 32 canary bytes before the ROI and after the last row, besides the padding between rows.
    std::size_t total = 32 + 32 + std::size_t(step_) * (l.height - 1) + rowBytes + 32 + 32;
    storage_.assign(total, canary);
    auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
    std::size_t first = 32 + ((32 - base % 32) % 32) + std::size_t(l.offset);
    roiOffset_ = first;
    roi_ = reinterpret_cast<T *>(storage_.data() + first);
    snapshot();
}

template <class T> void Image<T>::fill_random(Rng &rng, double specialShare)
{
    for (int y = 0; y < layout_.height; ++y)
        for (int i = 0; i < layout_.width * layout_.channels; ++i) {
            if constexpr (std::is_same_v<T, Zyl32f>) row(y)[i] = random_float(rng, specialShare);
            else row(y)[i] = random_value<T>(rng);
        }
    snapshot();
}

template <class T> void Image<T>::fill(T v)
{
    for (int y = 0; y < layout_.height; ++y)
        for (int i = 0; i < layout_.width * layout_.channels; ++i) row(y)[i] = v;
    snapshot();
}

template <class T> void Image<T>::snapshot() { before_ = storage_; }

template <class T> bool Image<T>::intact_outside_roi() const
{
    std::size_t rowBytes = std::size_t(layout_.width) * layout_.channels * sizeof(T);
    for (std::size_t i = 0; i < storage_.size(); ++i) {
        bool inside = false;
        if (i >= roiOffset_) {
            std::size_t rel = i - roiOffset_;
            std::size_t y = rel / std::size_t(step_);
            inside = y < std::size_t(layout_.height) && rel % std::size_t(step_) < rowBytes;
        }
        if (!inside && storage_[i] != before_[i]) return false;
    }
    return true;
}

template <class T> std::vector<std::uint8_t> Image<T>::roi_bytes() const
{
    std::vector<std::uint8_t> out;
    std::size_t rowBytes = std::size_t(layout_.width) * layout_.channels * sizeof(T);
    for (int y = 0; y < layout_.height; ++y) {
        auto p = reinterpret_cast<const std::uint8_t *>(row(y));
        out.insert(out.end(), p, p + rowBytes);
    }
    return out;
}

// ---- GuardedImage -----------------------------------------------------------------------

template <class T>
GuardedImage<T>::GuardedImage(int width, int height, int channels, Guard where, int padBytes)
    : width_(width), height_(height), channels_(channels)
{
    std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    std::size_t rowBytes = std::size_t(width) * channels * sizeof(T);
    step_ = int(rowBytes) + padBytes;
    std::size_t span = std::size_t(step_) * (height - 1) + rowBytes;
    std::size_t body = (span + page - 1) / page * page;
    mapLen_ = body + 2 * page;
    void *m = mmap(nullptr, mapLen_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) {
        std::perror("mmap");
        std::abort();
    }
    map_ = static_cast<std::uint8_t *>(m);
    mprotect(map_, page, PROT_NONE);
    mprotect(map_ + page + body, page, PROT_NONE);
    std::uint8_t *first = where == Guard::Before ? map_ + page : map_ + page + body - span;
    roi_ = reinterpret_cast<T *>(first);
}

template <class T> GuardedImage<T>::~GuardedImage() { munmap(map_, mapLen_); }

template <class T> void GuardedImage<T>::fill_random(Rng &rng)
{
    for (int y = 0; y < height_; ++y)
        for (int i = 0; i < width_ * channels_; ++i) row(y)[i] = random_value<T>(rng);
}

template <class T> std::vector<std::uint8_t> GuardedImage<T>::roi_bytes()
{
    std::vector<std::uint8_t> out;
    std::size_t rowBytes = std::size_t(width_) * channels_ * sizeof(T);
    for (int y = 0; y < height_; ++y) {
        auto p = reinterpret_cast<const std::uint8_t *>(row(y));
        out.insert(out.end(), p, p + rowBytes);
    }
    return out;
}

// ---- comparison and validation ------------------------------------------------------------

::testing::AssertionResult same_bytes(const std::vector<std::uint8_t> &a,
                                      const std::vector<std::uint8_t> &b)
{
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes differ: " << a.size() << " vs " << b.size();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return ::testing::AssertionFailure() << "first difference at byte " << i << ": 0x"
                                                 << std::hex << int(a[i]) << " vs 0x" << int(b[i]);
    return ::testing::AssertionSuccess();
}

void expect_statuses(const std::vector<StatusCase> &cases, const std::function<bool()> &untouched)
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.expected);
        if (untouched && c.expected < 0) EXPECT_TRUE(untouched()) << "a refused call wrote";
    }
}

#define ZT_INSTANTIATE(T)                                                                          \
    template class Image<T>;                                                                       \
    template class GuardedImage<T>;                                                                \
    template Layout random_layout<T>(Rng &, int, int, int);
ZT_INSTANTIATE(Zyl8u)
ZT_INSTANTIATE(Zyl8s)
ZT_INSTANTIATE(Zyl16s)
ZT_INSTANTIATE(Zyl32f)

}  // namespace zt

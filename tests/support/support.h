// Shared test harness: random images with padded steps and odd offsets, canaries around every
// destination, images flush against inaccessible pages, bit-exact comparison and a validation
// table runner. Every family's tests build on these.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "zylcv.h"

namespace zt {

// ---- random values ----------------------------------------------------------------------

// Deterministic generator; tests print the seed on failure through SCOPED_TRACE(seed_note(...)).
struct Rng {
    std::mt19937 gen;
    std::uint32_t seed;
    explicit Rng(std::uint32_t s) : gen(s), seed(s) {}
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    bool chance(double p) { return std::bernoulli_distribution(p)(gen); }
    float real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
    std::uint32_t bits32() { return gen(); }
};

std::string seed_note(std::uint32_t seed);

// A random pixel value. For floats: mostly ordinary values of mixed magnitudes, sometimes
// special values (±0, ±inf, NaNs with payloads and signs, denormals, extremes).
template <class T> T random_value(Rng &rng);
template <> inline Zyl8u random_value<Zyl8u>(Rng &rng)
{
    return static_cast<Zyl8u>(rng.uniform(0, 255));
}
template <> inline Zyl8s random_value<Zyl8s>(Rng &rng)
{
    return static_cast<Zyl8s>(rng.uniform(-128, 127));
}
template <> inline Zyl16s random_value<Zyl16s>(Rng &rng)
{
    return static_cast<Zyl16s>(rng.uniform(-32768, 32767));
}
float random_float(Rng &rng, double specialShare = 0.05);
template <> inline Zyl32f random_value<Zyl32f>(Rng &rng) { return random_float(rng); }

// The special float values every float kernel is exercised with.
std::vector<float> special_floats();

// ---- images -----------------------------------------------------------------------------

// Layout of a test image: ROI size, channels, padding bytes after each row and the byte offset
// of the ROI from a 32-byte boundary (so that aligned and unaligned paths are both reached).
struct Layout {
    int width = 1, height = 1, channels = 1;
    int padBytes = 0;  // extra bytes per row beyond width * channels * sizeof(T)
    int offset = 0;    // byte offset of the first ROI pixel from a 32-byte boundary
};

// Random layouts for width/height in the given ranges; padding and offsets keep element
// alignment (multiples of sizeof(T)) and include the aligned case often enough.
template <class T> Layout random_layout(Rng &rng, int maxW, int maxH, int channels = 1);

// An image in heap memory with canary bytes around and between its ROI rows. `snapshot()` is
// taken at construction and after `fill_*`; `intact_outside_roi()` tells whether any byte
// outside the ROI changed since then.
template <class T> class Image {
public:
    Image(const Layout &l, std::uint8_t canary = 0xA5);
    T *data() { return roi_; }
    const T *data() const { return roi_; }
    int step() const { return step_; }
    int width() const { return layout_.width; }
    int height() const { return layout_.height; }
    int channels() const { return layout_.channels; }
    ZyliSize size() const { return {layout_.width, layout_.height}; }
    T *row(int y)
    {
        return reinterpret_cast<T *>(reinterpret_cast<char *>(roi_) + std::ptrdiff_t(y) * step_);
    }
    const T *row(int y) const { return const_cast<Image *>(this)->row(y); }
    T &at(int x, int y, int c = 0) { return row(y)[x * layout_.channels + c]; }
    T at(int x, int y, int c = 0) const { return const_cast<Image *>(this)->at(x, y, c); }

    // Random pixels; for floats `specialShare` of them special values.
    void fill_random(Rng &rng, double specialShare = 0.05);
    void fill(T v);
    void snapshot();
    bool intact_outside_roi() const;
    // Bytes of the ROI rows only (rows concatenated), for memcmp between results.
    std::vector<std::uint8_t> roi_bytes() const;

private:
    Layout layout_;
    int step_;
    std::vector<std::uint8_t> storage_, before_;
    T *roi_;
    std::size_t roiOffset_;
};

// An image with inaccessible pages directly before its first ROI byte (Before) or directly
// after its last ROI byte (After). The step is the tight row length plus padBytes, so with
// After the last row's last element is the last readable byte.
enum class Guard { Before, After };
template <class T> class GuardedImage {
public:
    GuardedImage(int width, int height, int channels, Guard where, int padBytes = 0);
    ~GuardedImage();
    GuardedImage(const GuardedImage &) = delete;
    GuardedImage &operator=(const GuardedImage &) = delete;
    T *data() { return roi_; }
    int step() const { return step_; }
    ZyliSize size() const { return {width_, height_}; }
    T *row(int y)
    {
        return reinterpret_cast<T *>(reinterpret_cast<char *>(roi_) + std::ptrdiff_t(y) * step_);
    }
    void fill_random(Rng &rng);
    // Copies the ROI of another image of the same size and channels.
    template <class Src> void copy_from(const Src &img)
    {
        for (int y = 0; y < height_; ++y)
            std::memcpy(row(y), img.row(y), std::size_t(width_) * channels_ * sizeof(T));
    }
    std::vector<std::uint8_t> roi_bytes();

private:
    int width_, height_, channels_, step_;
    std::uint8_t *map_ = nullptr;
    std::size_t mapLen_ = 0;
    T *roi_ = nullptr;
};

// Mask bytes over a mask's ROI: a random non-zero byte with probability `density`, else zero.
template <class Mask> void fill_mask(Mask &m, Rng &rng, double density)
{
    for (int y = 0; y < m.size().height; ++y)
        for (int x = 0; x < m.size().width; ++x)
            m.row(y)[x] = rng.chance(density) ? Zyl8u(rng.uniform(1, 255)) : Zyl8u(0);
    if constexpr (requires { m.snapshot(); }) m.snapshot();
}

// ---- comparison -------------------------------------------------------------------------

// Bit-exact equality of two byte vectors; on failure reports the first differing byte.
::testing::AssertionResult same_bytes(const std::vector<std::uint8_t> &a,
                                      const std::vector<std::uint8_t> &b);
inline std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }
inline std::uint32_t bits_of(float v) { return std::bit_cast<std::uint32_t>(v); }
inline std::uint32_t bits_of(Zyl8u v) { return v; }  // so that tests over both types compare alike

// Equal bits, or both NaN: for results whose NaN payload the definition leaves open (which of two
// NaN operands a sum keeps). The failure message gives both values and their bits.
template <class F>::testing::AssertionResult same_bits_or_nan(F got, F want)
{
    static_assert(std::is_floating_point_v<F>);
    if (bits_of(got) == bits_of(want) || (got != got && want != want))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << got << " (bits 0x" << std::hex << bits_of(got) << "), want " << want
           << " (bits 0x" << bits_of(want) << ")" << std::dec;
}

// ---- validation tables ------------------------------------------------------------------

// One row of a validation table: a label, the call, and the status it must return.
struct StatusCase {
    std::string what;
    std::function<ZylStatus()> call;
    ZylStatus expected;
};

// Runs every case and checks its status; `untouched` (if given) is checked after each failing
// call, to prove that a refused call wrote nothing.
void expect_statuses(const std::vector<StatusCase> &cases,
                     const std::function<bool()> &untouched = {});

// ---- kernel twins -----------------------------------------------------------------------

// The kernel twins this build has; portable first, as the reference the others must match
// bit for bit.
enum class Twin { Portable, Sse2, Avx2 };
inline const char *twin_name(Twin t)
{
    return t == Twin::Portable ? "portable" : t == Twin::Sse2 ? "sse2" : "avx2";
}
// The AVX2 twin takes part where the build has it and this CPU runs it; otherwise its absence
// is reported once per test program.
std::vector<Twin> twins();

// A callable that forwards its arguments to entry `fn` (any overload or template-id, commas
// included) of twin t.
#if ZYLCV_AVX2
#define ZT_ENTRY(t, ...)                                                                           \
    [&](auto &&...a) {                                                                             \
        return (t) == zt::Twin::Portable ? zylcv::portable::__VA_ARGS__(a...)                      \
               : (t) == zt::Twin::Sse2   ? zylcv::sse2::__VA_ARGS__(a...)                          \
                                         : zylcv::avx2::__VA_ARGS__(a...);                           \
    }
#elif ZYLCV_SIMD
#define ZT_ENTRY(t, ...)                                                                           \
    [&](auto &&...a) {                                                                             \
        return (t) == zt::Twin::Portable ? zylcv::portable::__VA_ARGS__(a...)                      \
                                         : zylcv::sse2::__VA_ARGS__(a...);                         \
    }
#else
#define ZT_ENTRY(t, ...) [&](auto &&...a) { return zylcv::portable::__VA_ARGS__(a...); }
#endif

// Runs `run(twin)` for every twin, each returning its output bytes (or any ==-comparable,
// printable value), and expects every twin's output to equal the portable twin's.
template <class Run> void expect_twins_agree(Run run)
{
    const auto want = run(Twin::Portable);
    for (Twin t : twins()) {
        if (t == Twin::Portable) continue;
        SCOPED_TRACE(twin_name(t));
        if constexpr (std::is_same_v<std::decay_t<decltype(want)>, std::vector<std::uint8_t>>)
            EXPECT_TRUE(same_bytes(run(t), want));
        else EXPECT_EQ(run(t), want);
    }
}

// Owns a library state object and frees it with the family's destructor (which takes the
// address of the pointer and clears it).
template <class S, ZylStatus (*Free)(S **)> struct Held {
    S *st = nullptr;
    Held() = default;
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    ~Held()
    {
        if (st) Free(&st);
    }
    S *get() const { return st; }
};

}  // namespace zt

// Shared pieces of the fuzz targets: parameters read from the fuzzer's bytes, images and buffers
// allocated exactly to size (so that AddressSanitizer sees any access past their last byte), and
// the reporting of a finding.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "zylcv.h"

namespace fz {

// ---- findings ---------------------------------------------------------------------------------

// Prints what went wrong and aborts, which libFuzzer records as a crash with the input saved.
[[noreturn]] inline void fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
inline void fail(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::fputs("FINDING: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
    std::abort();
}

#define FZ_CHECK(cond, ...)                                                                        \
    do {                                                                                           \
        if (!(cond)) ::fz::fail(__VA_ARGS__);                                                      \
    } while (0)

// ---- reading the input ------------------------------------------------------------------------

// Reads the input front to back. Once it is used up every read gives zero, so every input is a
// valid test case and short inputs mean small, simple cases.
class Input {
public:
    Input(const std::uint8_t *data, std::size_t size) : p_(data), n_(size) {}
    std::size_t left() const { return n_; }
    std::uint8_t byte()
    {
        if (!n_) return 0;
        --n_;
        return *p_++;
    }
    std::uint16_t u16() { return std::uint16_t(byte() | byte() << 8); }
    std::uint32_t u32() { return std::uint32_t(u16()) | std::uint32_t(u16()) << 16; }
    bool flag() { return byte() & 1; }
    // A value in lo..hi (inclusive), from one byte when the range allows, else from two or four.
    int range(int lo, int hi)
    {
        const std::uint64_t span = std::uint64_t(std::int64_t(hi) - lo) + 1;
        const std::uint64_t v = span <= 256 ? byte() : span <= 65536 ? u16() : u32();
        return int(std::int64_t(lo) + std::int64_t(v % span));
    }
    // True with probability about n/256.
    bool chance(int n) { return byte() < n; }
    template <class T> T pick(std::initializer_list<T> items)
    {
        return items.begin()[range(0, int(items.size()) - 1)];
    }

private:
    const std::uint8_t *p_;
    std::size_t n_;
};

inline std::uint32_t bits_of(float v) { return std::bit_cast<std::uint32_t>(v); }
inline float float_of(std::uint32_t b) { return std::bit_cast<float>(b); }
inline std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }

// Float values that kernels get wrong most easily: signed zeros, infinities, NaNs of both signs
// with payloads, denormals and extremes.
inline float special_float(Input &in)
{
    static const std::uint32_t kBits[] = {0x00000000u, 0x80000000u, 0x7F800000u, 0xFF800000u,
                                          0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFFA00005u,
                                          0x00000001u, 0x80000001u, 0x007FFFFFu, 0x7F7FFFFFu,
                                          0xFF7FFFFFu, 0x3F800000u, 0xBF800000u, 0x4B000000u};
    return float_of(kBits[in.range(0, 15)]);
}

// A float pixel: mostly small values on a coarse grid (so that neighbours compare equal now
// and then), sometimes raw bit patterns or special values.
inline float any_float(Input &in)
{
    const int kind = in.byte();
    if (kind < 160) return float(int(in.byte()) - 128) * 0.25f;
    if (kind < 224) return float_of(in.u32());
    return special_float(in);
}

// ---- memory -----------------------------------------------------------------------------------

// A heap block of exactly `size` bytes: its end is the end of the allocation, so AddressSanitizer
// reports any access past it.
class Block {
public:
    Block() = default;
    explicit Block(std::size_t size, std::uint8_t fill = 0xA5)
        : p_(static_cast<std::uint8_t *>(std::malloc(size ? size : 1))), n_(size)
    {
        if (!p_) fail("out of memory allocating %zu bytes", size);
        std::memset(p_, fill, size);
    }
    ~Block() { std::free(p_); }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;
    Block(Block &&o) noexcept : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)) {}
    Block &operator=(Block &&o) noexcept
    {
        std::swap(p_, o.p_);
        std::swap(n_, o.n_);
        return *this;
    }
    std::uint8_t *data() { return p_; }
    const std::uint8_t *data() const { return p_; }
    std::size_t size() const { return n_; }
    std::vector<std::uint8_t> bytes() const { return {p_, p_ + n_}; }

private:
    std::uint8_t *p_ = nullptr;
    std::size_t n_ = 0;
};

// An image of width x height pixels of `channels` elements of T in an exact block: `lead` bytes
// before the first pixel, `pad` bytes after every row but the last, and the last row ending at
// the end of the block. Bytes outside the ROI hold a fill pattern, so that a write outside the
// ROI shows up when the whole block is compared with a copy.
template <class T> class Image {
public:
    Image() = default;
    Image(int width, int height, int channels, int padBytes = 0, int leadBytes = 0)
        : w_(width), h_(height), c_(channels), lead_(leadBytes),
          step_(width * channels * int(sizeof(T)) + padBytes),
          block_(std::size_t(leadBytes) +
                 (height > 0 ? std::size_t(step_) * (height - 1) + row_bytes() : 0))
    {
    }
    int width() const { return w_; }
    int height() const { return h_; }
    int channels() const { return c_; }
    int step() const { return step_; }
    ZyliSize size() const { return {w_, h_}; }
    std::size_t row_bytes() const { return std::size_t(w_) * c_ * sizeof(T); }
    T *data() { return reinterpret_cast<T *>(block_.data() + lead_); }
    const T *data() const { return reinterpret_cast<const T *>(block_.data() + lead_); }
    T *row(int y) { return reinterpret_cast<T *>(block_.data() + lead_ + std::size_t(y) * step_); }
    const T *row(int y) const { return const_cast<Image *>(this)->row(y); }
    T &at(int x, int y, int c = 0) { return row(y)[std::size_t(x) * c_ + c]; }
    T at(int x, int y, int c = 0) const { return row(y)[std::size_t(x) * c_ + c]; }
    // Byte offset of row y from the start of the block.
    std::size_t row_offset(int y) const { return std::size_t(lead_) + std::size_t(y) * step_; }
    // The whole block, ROI and surroundings: for proving that a call wrote nothing.
    std::vector<std::uint8_t> snapshot() const { return block_.bytes(); }
    bool unchanged_since(const std::vector<std::uint8_t> &before) const
    {
        return before.size() == block_.size() &&
               (before.empty() || std::memcmp(before.data(), block_.data(), before.size()) == 0);
    }
    // The ROI rows concatenated, for comparing results of the same size.
    std::vector<std::uint8_t> roi_bytes() const
    {
        std::vector<std::uint8_t> out;
        for (int y = 0; y < h_; ++y) {
            auto r = reinterpret_cast<const std::uint8_t *>(row(y));
            out.insert(out.end(), r, r + row_bytes());
        }
        return out;
    }
    // Whether every byte outside the ROI is as in `before` (a snapshot of this image).
    bool outside_roi_unchanged(const std::vector<std::uint8_t> &before) const
    {
        const std::uint8_t *b = block_.data();
        for (std::size_t i = 0; i < block_.size(); ++i) {
            const std::size_t off = i < std::size_t(lead_) ? 0 : i - lead_;
            const bool inRoi = i >= std::size_t(lead_) && step_ > 0 && off % step_ < row_bytes();
            if (!inRoi && b[i] != before[i]) return false;
        }
        return true;
    }
    void copy_roi_from(const Image &o)
    {
        for (int y = 0; y < h_; ++y) std::memcpy(row(y), o.row(y), row_bytes());
    }

private:
    int w_ = 0, h_ = 0, c_ = 1, lead_ = 0, step_ = 0;
    Block block_;
};

// Padding and leading bytes of an image, keeping the element alignment of T.
struct Geometry {
    int pad = 0, lead = 0;
};
template <class T> Geometry any_geometry(Input &in)
{
    const int e = int(sizeof(T));
    return {in.range(0, 3) * e, in.range(0, 15 / e) * e};
}

// The first byte in which two byte strings differ, or -1.
inline long first_difference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return long(i);
    return -1;
}

}  // namespace fz

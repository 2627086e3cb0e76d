// Motion-history kernels: the per-pixel update on float bit patterns every twin uses, the row
// walk written once over a twin's row operations, and the twins' entries. No float arithmetic
// touches a history value, so every pattern (NaNs included) is either kept, replaced by the
// timestamp's or cleared to +0.0.
#ifndef ZYLCV_MOTION_HISTORY_MOTION_HISTORY_H
#define ZYLCV_MOTION_HISTORY_MOTION_HISTORY_H

#include "core/internal.h"

namespace zylcv::motion_history {

// A history pixel read and written as its 32-bit pattern.
using FloatBits = std::uint32_t __attribute__((may_alias));

// The total order of floats as signed integers: a pattern with the sign bit clear is its own key,
// one with the sign bit set has the key -1 - magnitude. So -0.0 sorts below +0.0, NaNs with the
// sign clear above +inf and NaNs with the sign set below -inf.
inline std::int32_t order_key(std::uint32_t b)
{
    return static_cast<std::int32_t>(b & 0x80000000u ? b ^ 0x7FFFFFFFu : b);
}

// One pixel: a set silhouette byte stamps the timestamp; otherwise a history older than the
// limit (key below the limit's key) is cleared to +0.0 and any other value kept.
inline std::uint32_t mhi_px(Zyl8u s, std::uint32_t h, std::uint32_t timestamp,
                            std::int32_t limitKey)
{
    if (s != 0) return timestamp;
    return order_key(h) < limitKey ? 0u : h;
}

// Pixels x0..w-1 of one row.
inline void mhi_span(const Zyl8u *s, FloatBits *h, int x0, int w, std::uint32_t timestamp,
                     std::int32_t limitKey)
{
    for (int x = x0; x < w; ++x) h[x] = mhi_px(s[x], h[x], timestamp, limitKey);
}

// Every row through the twin's row operation on access path P.
template <class Rows, auto P>
void rows(const Zyl8u *s, int sStep, Zyl32f *h, int hStep, int w, int height,
          std::uint32_t timestamp, std::int32_t limitKey)
{
    for (int y = 0; y < height; ++y) {
        Rows::template row<P>(s, h, w, timestamp, limitKey);
        s = advance(s, sStep);
        h = advance(h, hStep);
    }
}

// The portable twin's row operations: one access path, every pixel through mhi_span.
struct ScalarRows {
    static void run(const Zyl8u *s, int sStep, Zyl32f *h, int hStep, int w, int height,
                    std::uint32_t timestamp, std::int32_t limitKey)
    {
        rows<ScalarRows, 0>(s, sStep, h, hStep, w, height, timestamp, limitKey);
    }
    template <auto P>
    static void row(const Zyl8u *s, Zyl32f *h, int w, std::uint32_t timestamp,
                    std::int32_t limitKey)
    {
        mhi_span(s, reinterpret_cast<FloatBits *>(h), 0, w, timestamp, limitKey);
    }
};

}  // namespace zylcv::motion_history

namespace zylcv {
// timestamp and limit (timestamp - duration, already rounded to single precision) come as bit
// patterns. Rows are `width` pixels; the caller merges contiguous images into one row.
ZYLCV_DECLARE_TWINS_AVX2(void update_motion_history(const Zyl8u *sil, int silStep, Zyl32f *mhi,
                                                    int mhiStep, int width, int height,
                                                    std::uint32_t timestamp, std::uint32_t limit);)
}  // namespace zylcv

// The entry of a twin, over its row operations `Rows`.
#define ZYLCV_MOTION_HISTORY_ENTRIES                                                               \
    void update_motion_history(const Zyl8u *sil, int silStep, Zyl32f *mhi, int mhiStep, int width, \
                               int height, std::uint32_t timestamp, std::uint32_t limit)           \
    {                                                                                              \
        Rows::run(sil, silStep, mhi, mhiStep, width, height, timestamp,                            \
                  motion_history::order_key(limit));                                               \
    }

#endif

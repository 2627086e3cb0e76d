// Filter state of the strip filters (Sobel, Laplace, box sum) and the strip driver they share:
// roles, the pending count, the ring of row buffers, top and bottom row replication and the
// count of rows written all live here, once; each filter supplies only how a row enters the
// ring and how an output row leaves it.
#ifndef ZYLCV_FILTER_FILTER_STATE_H
#define ZYLCV_FILTER_FILTER_STATE_H

#include "core/internal.h"
#include "core/ring.h"

// One block from _zycvAlloc: this header, the row buffers right after it, then this library's
// own fields (filter::StateTail). The header is the state's published layout, field by field.
struct ZyliConvState {
    void *rowArea;     // the first row buffer: the byte right after this header
    Zyl32s stateCode;  // 8*kernelSize; Sobel adds 4*bottomUp + xOrder%2 + 2*(yOrder%2)
    Zyl32s pending;    // source rows still to absorb before the first output row of an image;
                       // kernelSize in a new state, 0 once the window is full
    void *rows[16];    // row buffers in ring order, oldest first; unused slots are null
    // Kernel entries 0..kernelSize (the last is 0); entry i applies at offset i - kernelSize/2.
    // 32f states: entry i is four equal Zyl32f at byte 16*i. 8-bit states: four equal Zyl16s
    // at byte 8*i. Bytes past the last entry are zero.
    unsigned char kernelX[16 * 16];
    unsigned char kernelY[16 * 16];
};

namespace zylcv::filter {

enum Kind { kSobel = 1, kLaplace = 2, kBlur = 3 };

// This library's fields of a state, in the block right after the last row buffer.
struct StateTail {
    Zyl32s maxWidth;  // the maxRoiWidth the row buffers were sized for
    Zyl32s kind;      // Kind: the filter the state was built for
    Zyl32s dataType;  // ZylDataType of the source images it was built for
    Zyl32s ringRows;  // rows the ring holds: 0 in a new state, up to kernelSize
};

// The row buffers lie at rowArea + i*rowBytes, i < n (n >= 3), in some ring order: the highest
// address is the last buffer, n - 1 buffers after rowArea, and the tail follows it.
inline StateTail &tail(const ZyliConvState &st)
{
    const auto first = reinterpret_cast<std::uintptr_t>(st.rowArea);
    std::uintptr_t last = first;
    int n = 0;
    for (void *row : st.rows) {
        const auto at = reinterpret_cast<std::uintptr_t>(row);
        n += row != nullptr;
        last = at > last ? at : last;
    }
    return *reinterpret_cast<StateTail *>(last + (last - first) / (n - 1));
}

inline int kernel_size(const ZyliConvState &st) { return st.stateCode >> 3; }

// Bytes of one row buffer: maxWidth 32-bit elements, rounded up to a multiple of 32.
inline std::int64_t row_bytes(std::int64_t maxWidth)
{
    return (4 * maxWidth + 31) & ~std::int64_t{31};
}

// Kernel entries, read and written byte by byte so that no float or short is ever accessed
// through the unsigned char fields.
inline void put_entry(unsigned char *field, int i, int value, bool f32)
{
    if (f32) {
        std::uint32_t b = bits(static_cast<float>(value));
        for (int lane = 0; lane < 4; ++lane)
            for (int byte = 0; byte < 4; ++byte)
                field[16 * i + 4 * lane + byte] = static_cast<unsigned char>(b >> (8 * byte));
    } else {
        auto b = static_cast<std::uint16_t>(static_cast<Zyl16s>(value));
        for (int lane = 0; lane < 4; ++lane)
            for (int byte = 0; byte < 2; ++byte)
                field[8 * i + 2 * lane + byte] = static_cast<unsigned char>(b >> (8 * byte));
    }
}
inline Zyl32f entry_32f(const unsigned char *field, int i)
{
    std::uint32_t b = 0;
    for (int byte = 0; byte < 4; ++byte) b |= std::uint32_t(field[16 * i + byte]) << (8 * byte);
    return from_bits(b);
}
inline Zyl16s entry_16s(const unsigned char *field, int i)
{
    return static_cast<Zyl16s>(std::uint16_t(field[8 * i] | (field[8 * i + 1] << 8)));
}

// Roles: 0 whole, 1 first, 2 last, 4 middle; the box sum also takes 3, first and last at once.
inline bool starts_image(int role)
{
    return role == zylStripWhole || role == zylStripFirst || role == 3;
}
inline bool ends_image(int role)
{
    return role == zylStripWhole || role == zylStripLast || role == 3;
}

// Argument checks shared by the Sobel and Laplace filters: pointers; size and steps shorter than
// a row; step alignment (all reported as a size fault); the role; the pending rule.
template <class S, class D>
ZylStatus check_derivative_strip(bool pointersOk, int srcStep, int dstStep, const ZyliSize *roi,
                                 const ZyliConvState *st, int role)
{
    if (!pointersOk) return zylStatusNullPtr;
    const std::int64_t w = roi->width;
    if (roi->width < 1 || roi->height < 1 || srcStep < w * std::int64_t(sizeof(S)) ||
        dstStep < w * std::int64_t(sizeof(D)))
        return zylStatusBadSize;
    if (dstStep % std::int32_t(sizeof(D)) != 0 || srcStep % std::int32_t(sizeof(S)) != 0)
        return zylStatusBadSize;
    if (role != zylStripWhole && role != zylStripFirst && role != zylStripLast &&
        role != zylStripMiddle)
        return zylStatusBadArg;
    if (st->pending != 0 && role != zylStripWhole && role != zylStripFirst) return zylStatusBadArg;
    return zylStatusOk;
}

// Checks that come after each filter's own: a state built for another filter or another source
// type is refused as a bad argument, a ROI wider than its row buffers as a bad size.
inline ZylStatus check_state(const ZyliConvState &st, Kind kind, ZylDataType type, int width)
{
    const StateTail &t = tail(st);
    if (t.kind != kind || t.dataType != type) return zylStatusBadArg;
    if (width > t.maxWidth) return zylStatusBadSize;
    return zylStatusOk;
}

// One strip call. A window of k = kernelSize rows (anchor a = k/2) slides down the image. The
// first row of an image also stands for the a rows above it; after the last row, a copies of
// it complete the windows of the bottom rows. A row entering a ring that is not yet full takes
// the next free place (and the k-th one yields the first output row); once the ring is full,
// the oldest buffer is recycled for each new row and every new row yields one output row.
//
// The policy P knows what a ring row holds and how an output row is made:
//   P::kRings            rings rotated together (rows[0..k-1], rows[k..2k-1], ...)
//   start(src)           first row of an image: ring places 0..a
//   fill(slot, src)      a row into ring place `slot` of a ring that is not full
//   emit(dst)            the output row of a full ring
//   slide(src, dst)      ring just rotated: a row into place k-1, which holds the row leaving
//                        the window, and the output row
//   slide2(s0, s1, d0, d1)  optional: ring rotated twice, rows s0 and s1 into places k-2 and
//                        k-1, their output rows; the same as two slides
// A null src means "the newest ring row once more" (the bottom replication).
// Returns the number of output rows written.
template <class P>
int run_strip(ZyliConvState &st, P &policy, const typename P::Src *src, int srcStep,
              typename P::Dst *dst, int dstStep, int height, bool starts, bool ends)
{
    const int k = kernel_size(st), a = k / 2;
    Zyl32s &ringRows = tail(st).ringRows;
    int written = 0;
    auto push = [&](const typename P::Src *row) {
        if (ringRows < k) {
            policy.fill(ringRows, row);
            if (++ringRows < k) return;
            policy.emit(dst);
        } else {
            for (int r = 0; r < P::kRings; ++r) rotate(st.rows + r * k, k);
            policy.slide(row, dst);
        }
        dst = advance(dst, dstStep);
        ++written;
    };
    int y = 0;
    if (starts) {
        policy.start(src);
        ringRows = a + 1;
        y = 1;
    }
    // A policy may take two rows into a full window at once (slide2: the same as two slides).
    if constexpr (requires { policy.slide2(src, src, dst, dst); }) {
        for (; ringRows < k && y < height; ++y) push(advance(src, std::ptrdiff_t(y) * srcStep));
        for (; y + 1 < height; y += 2) {
            for (int r = 0; r < P::kRings; ++r) {
                rotate(st.rows + r * k, k);
                rotate(st.rows + r * k, k);
            }
            policy.slide2(advance(src, std::ptrdiff_t(y) * srcStep),
                          advance(src, std::ptrdiff_t(y + 1) * srcStep), dst,
                          advance(dst, dstStep));
            dst = advance(dst, 2 * std::ptrdiff_t(dstStep));
            written += 2;
        }
    }
    for (; y < height; ++y) push(advance(src, std::ptrdiff_t(y) * srcStep));
    if (ends)
        for (int i = 0; i < a; ++i) push(nullptr);
    st.pending = ringRows < 2 * a ? 2 * a - ringRows : 0;
    return written;
}

}  // namespace zylcv::filter

#endif

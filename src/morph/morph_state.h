// Morphology state (erosion and dilation by strips) and the strip driver its kernels share: the
// block layout the constructor builds, the ring reset, top and bottom row replication, the fill
// index and the rows-held count. Each element kind supplies only how a source row enters the
// ring and how a destination row leaves it.
#ifndef ZYLCV_MORPH_MORPH_STATE_H
#define ZYLCV_MORPH_MORPH_STATE_H

#include <limits>

#include "core/internal.h"
#include "core/ring.h"

// The state's published header, in this order. One block from _zycvAlloc holds it, a gap, the
// ring rows, the scratch rows, the mask area (mask elements only) and the row table.
struct ZyliMorphState {
    Zyl32s maskWidth;
    Zyl32s maskHeight;  // also the number of ring rows
    Zyl32s anchorX;
    Zyl32s anchorY;
    Zyl32s shape;       // 0 rectangle, 1 cross, 100 mask (ellipses are stored as masks)
    Zyl8u *pMaskInv;    // complement of pMask; both equal pRowTable for rectangle and cross
    Zyl8u *pMask;       // 0xFF per member cell: 8 bytes a cell for 8u, 1 byte for 32f
    Zyl32s roiWidth;    // widest ROI the strip calls accept
    Zyl32s dataType;    // zyl8u or zyl32f
    Zyl32s nChannels;   // 1, 3 or 4
    Zyl8u *pRows;       // first ring row
    Zyl32s rowStride;   // bytes from one ring row to the next
    Zyl32s rowsHeld;    // ring rows carried over to the next strip call
    Zyl8u **pRowTable;  // maskHeight ring rows in window order, oldest first
    Zyl8u *pScratch;    // scratch rows after the ring rows
};

namespace zylcv::morph {

enum Kind { kRect = 0, kCross = 1, kMask = 100 };

inline int element_size(int dataType) { return dataType == zyl32f ? 4 : 1; }

// Where everything lives in the block, as byte offsets from its start, and the size requested.
struct Layout {
    std::int64_t pixelSize, alignUnit, extraRows, rowStride, firstRow, scratch, maskArea, maskAt,
        tableAt, end, request;
};

// All sizes in 64 bits: a caller's width can make them exceed what a 32-bit length expresses,
// which the constructor reports as an allocation failure.
inline Layout layout_of(std::int64_t roiWidth, int dataType, int nChannels, std::int64_t mW,
                        std::int64_t mH, std::int64_t anchorX, bool hasMask)
{
    Layout l{};
    const std::int64_t es = element_size(dataType), ptr = sizeof(void *);
    l.pixelSize = es * nChannels;
    l.alignUnit = 8 * es;
    l.extraRows = dataType == zyl32f ? 2 : 1;
    l.rowStride = (l.pixelSize * (roiWidth + mW + 17) - 1) & ~(l.alignUnit - 1);
    // The first ring row lies at least anchorX pixels plus one free word past the header, so a
    // left border can be written in front of any ring row; the word after the header keeps the
    // width of the rows held (see held_width).
    const std::int64_t header = sizeof(ZyliMorphState);
    l.firstRow = (anchorX * l.pixelSize + l.alignUnit + header + 3) & ~(l.alignUnit - 1);
    l.scratch = l.firstRow + mH * l.rowStride;
    l.maskArea = hasMask ? 16 * mW * mH : 0;
    l.maskAt = l.scratch + l.extraRows * l.rowStride;
    l.tableAt = l.maskAt + l.maskArea;
    l.end = l.tableAt + mH * ptr;
    // Each row with a pointer slot, the mask area, and the header with its gap; enlarged to the
    // end of the layout where that falls short.
    l.request = ((l.rowStride + ptr) * (mH + l.extraRows) + l.maskArea + mW * l.pixelSize + 79) &
                ~std::int64_t{7};
    if (l.request < l.end) l.request = l.end;
    return l;
}

// The width of the rows the ring holds, kept in the word after the header: 0 until a whole image
// or a first strip has run, which is how a middle or last strip knows a sequence has started.
inline Zyl32s &held_width(ZyliMorphState &st)
{
    return *reinterpret_cast<Zyl32s *>(reinterpret_cast<char *>(&st) + sizeof(ZyliMorphState));
}

// One strip call. The ring has maskHeight entries; the fill index f counts the entries that hold
// rows of the current window. A reset (whole image or first strip) puts the ring rows in address
// order and starts at f = anchorY; the first source row also stands for the anchorY rows above
// it. Whenever f reaches maskHeight a destination row leaves, the table rotates and f drops by
// one. With no source row left, the whole-image and last-strip calls replicate the newest row
// (bottom border) until their row count is reached; first and middle strips stop.
//
// The policy O works on byte pointers to ring rows and on source and destination rows of
// pixels T:
//   enter(entry, src)   a source row into a ring entry, in the element kind's ring form
//   copy(to, from)      one ring row into another (border replication)
//   emit(table, dst)    the destination row of a full window
// and, where kPairs is set, the two halves of a pair of destination rows:
//   pair_first(table, d0, d1)  d0 from the full window; d1 the fold of entries 1 .. maskHeight - 1
//   pair_second(table, d1)     d1 folded with the newest entry, completing the second window
// and, where kBatches is set, batches of maskHeight rows (see below):
//   batch_ready(table)                    whether the ring's rows may start a batch
//   suffixes(table, d, dstStep)           the suffix folds into destination rows 0 .. mH - 2
//   batch_step(table, t, d, dstStep, ok)  destination row t once its last row has entered;
//                                         returns whether the next step may still regroup
// Returns the number of destination rows written; rowsHeld is left at f.
template <class O, class T>
int run_strip(ZyliMorphState &st, O &ops, const T *src, int srcStep, T *dst, int dstStep,
              int height, int role)
{
    const int mH = st.maskHeight, aY = st.anchorY;
    Zyl8u **table = st.pRowTable;
    const bool reset = role == zylStripWhole || role == zylStripFirst;
    const bool ends = role == zylStripWhole || role == zylStripLast;
    int f = st.rowsHeld;
    if (reset) {
        for (int k = 0; k < mH; ++k) table[k] = st.pRows + std::ptrdiff_t(k) * st.rowStride;
        f = aY;
    }
    const std::int64_t target = role == zylStripWhole  ? height
                                : role == zylStripLast ? std::int64_t(height) + f - aY
                                                       : std::numeric_limits<std::int64_t>::max();
    bool top = reset;
    int y = 0, written = 0;
    while (written < target) {
        for (; f < mH; ++f) {
            if (y < height) {
                ops.enter(table[f], advance(src, std::ptrdiff_t(y) * srcStep));
                ++y;
                if (top) {
                    for (int k = 0; k < aY; ++k) ops.copy(table[k], table[aY]);
                    top = false;
                }
            } else if (ends) {
                ops.copy(table[f], table[f - 1]);
            } else {
                st.rowsHeld = f;
                return written;
            }
        }
        T *out = advance(dst, std::ptrdiff_t(written) * dstStep);
        if constexpr (O::kBatches) {
            // Tall windows: maskHeight destination rows per batch when the source rows they
            // need are at hand. The ring's rows give suffix folds (destination row j holds the
            // fold of entries j .. maskHeight - 1, row 0 is final); each row that enters then
            // extends a prefix fold kept in the batch's last destination row, and destination
            // row t = fold(suffix t, prefix t). About three folds per row whatever the height.
            if (mH >= O::kBatchFrom && height - y >= mH - 1 && written + mH <= target &&
                ops.batch_ready(table)) {
                ops.suffixes(table, out, dstStep);
                rotate(table, mH);
                bool regroup = true;
                for (int t = 1; t < mH; ++t) {
                    ops.enter(table[mH - 1], advance(src, std::ptrdiff_t(y) * srcStep));
                    ++y;
                    regroup = ops.batch_step(table, t, out, dstStep, regroup);
                    rotate(table, mH);
                }
                written += mH;
                --f;
                continue;
            }
        }
        if constexpr (O::kPairs) {
            // Two destination rows per pass when the next source row is at hand: the rows both
            // windows share are folded once, left in the second destination row, and the next
            // row is folded into it after it has entered the ring.
            if (mH > 1 && y < height && written + 1 < target) {
                T *next = advance(out, dstStep);
                ops.pair_first(table, out, next);
                rotate(table, mH);
                ops.enter(table[mH - 1], advance(src, std::ptrdiff_t(y) * srcStep));
                ++y;
                ops.pair_second(table, next);
                rotate(table, mH);
                --f;
                written += 2;
                continue;
            }
        }
        ops.emit(table, out);
        rotate(table, mH);
        --f;
        ++written;
    }
    st.rowsHeld = f;
    return written;
}

}  // namespace zylcv::morph

#endif

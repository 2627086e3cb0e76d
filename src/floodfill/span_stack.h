// Flood fills' bookkeeping: the span stack kept in the caller's buffer, the bounding box and the
// region record.
#ifndef ZYLCV_FLOODFILL_SPAN_STACK_H
#define ZYLCV_FLOODFILL_SPAN_STACK_H

#include "core/internal.h"

namespace zylcv::floodfill {

// One span record: a run [xl, xr] of row y that has just joined the region, the run [pl, pr]
// of the neighbouring row y + d it was found from (its parent), and the direction d (+1 or -1).
struct Span {
    int y, xl, xr, pl, pr, d;
};

// A record lies in the buffer as six 32-bit integers in that order, 24 bytes; the gradient
// fills put the stack right after their visit mask, so records may sit at any address.
constexpr std::uint32_t kSpanBytes = 24;
struct __attribute__((packed, may_alias)) UnalignedI32 {
    std::int32_t v;
};

inline void store_span(Zyl8u *p, const Span &s)
{
    auto q = reinterpret_cast<UnalignedI32 *>(p);
    q[0].v = s.y, q[1].v = s.xl, q[2].v = s.xr, q[3].v = s.pl, q[4].v = s.pr, q[5].v = s.d;
}
inline Span load_span(const Zyl8u *p)
{
    auto q = reinterpret_cast<const UnalignedI32 *>(p);
    return {q[0].v, q[1].v, q[2].v, q[3].v, q[4].v, q[5].v};
}

// LIFO of span records: records live in the buffer except the topmost, which stays in
// registers. That saves a store and a load per push/pop pair, and lets a fill hold one record
// more than the buffer does (the seed record of a 1x1..1x3 image, whose buffer is shorter than
// one record, never touches it). A push that would pass the buffer's capacity is refused and
// leaves the stack as it was: nothing is ever written past capacity * 24 bytes.
class SpanStack {
public:
    SpanStack(Zyl8u *base, std::uint32_t capacity) : base_(base), capacity_(capacity) {}
    bool push(const Span &s)
    {
        if (held_) {
            if (count_ == capacity_) return false;
            store_span(base_ + std::size_t(count_) * kSpanBytes, top_);
            ++count_;
        }
        top_ = s;
        held_ = true;
        return true;
    }
    bool pop(Span &s)
    {
        if (!held_) return false;
        s = top_;
        if (count_ > 0) top_ = load_span(base_ + std::size_t(--count_) * kSpanBytes);
        else held_ = false;
        return true;
    }

private:
    Zyl8u *base_;
    std::uint32_t capacity_, count_ = 0;
    Span top_{};
    bool held_ = false;
};

// Bounding box of the filled spans.
struct Box {
    int x0, x1, y0, y1;
    void add(int xl, int xr, int y)
    {
        if (xl < x0) x0 = xl;
        if (xr > x1) x1 = xr;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
    }
};

inline void write_region(ZyliConnectedRegion *r, std::int64_t area, double value, const Box &b)
{
    r->area = double(area);
    r->value = value;
    r->boxX = b.x0;
    r->boxY = b.y0;
    r->boxWidth = b.x1 - b.x0 + 1;
    r->boxHeight = b.y1 - b.y0 + 1;
}

// What a fill reports when the region needs more span records than the buffer of the size query
// holds: the fill stops, the image is left partly filled and the region record is not written.
// The buffer's width * height / 4 records do not bound the stack: a region of many short runs
// that touch only diagonally can keep most of them pending at once. The smallest cases are
// 8-connected: the five pixels (0,0), (2,0), (1,1), (0,2), (2,2) of a 3x3 image seeded at (1,1)
// push four records, and a buffer of 54 bytes holds two (plus the one held in registers). Every
// push is therefore checked against the capacity instead.
constexpr ZylStatus kStackFull = zylStatusNoMemory;

}  // namespace zylcv::floodfill

#endif

// Whole-image functions on images larger than 2^32 bytes (x86_64 only): every row offset, row
// count and merged long-row length must be formed in 64 bits. The images are 65538 x 65538
// bytes, zero except for random rows at their bottom, so that the rows checked start past 2^31
// and past 2^32 bytes; a wrapped offset reads or writes the wrong rows there.
//
// Memory stays small. A source is mapped lazily: its untouched pages read as the shared zero
// page. A destination is mapped as a private tail (the rows that are checked, plus margin) behind
// one small shared block that is mapped over and over: writing the whole destination touches
// only the block and the tail. The functions here write their rows in order and read back at
// most a few recent rows of their destination (the distance transform reads neighbouring rows),
// so nothing they compute for the tail depends on the aliasing; the rows in the shared part
// hold identical values (all zero) anyway, since their sources are zero.
//
// The expected rows come from small models of each operation over the bottom rows of the source:
// rows above them are zero, so borders and neighbours outside the model see the same zeros.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "zylcv.h"

namespace {

constexpr int kSide = 65538;    // even, for PyrDown; kSide^2 > 2^32
constexpr int kPattern = 12;    // random rows at the bottom
constexpr int kModelRows = 24;  // rows the models see: kPattern random rows below zero rows
constexpr std::size_t kPage = 4096;

std::size_t round_up(std::size_t n, std::size_t m) { return (n + m - 1) / m * m; }

// A private anonymous mapping whose untouched pages cost nothing.
struct Lazy {
    std::uint8_t *p = nullptr;
    std::size_t n = 0;
    explicit Lazy(std::size_t bytes) : n(round_up(bytes, kPage))
    {
        void *m = mmap(nullptr, n, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (m != MAP_FAILED) p = static_cast<std::uint8_t *>(m);
    }
    ~Lazy()
    {
        if (p) munmap(p, n);
    }
    Lazy(const Lazy &) = delete;
    Lazy &operator=(const Lazy &) = delete;
};

// A destination of `bytes` bytes: the last `tail` bytes (rounded up to pages) private, everything
// before them one shared block of kBlock bytes mapped again and again.
struct Output {
    static constexpr std::size_t kBlock = 64u << 20;
    Lazy area;
    bool ok = false;
    Output(std::size_t bytes, std::size_t tail) : area(bytes)
    {
        if (!area.p) return;
        // One page more than asked for: the mapping's end may lie up to a page past `bytes`.
        const std::size_t keep = round_up(tail, kPage) + kPage;
        const std::size_t prefix = area.n > keep ? area.n - keep : 0;
        const int fd = memfd_create("zylcv-large-output", 0);
        if (fd < 0 || ftruncate(fd, kBlock) != 0) return;
        ok = true;
        for (std::size_t at = 0; at < prefix && ok; at += kBlock) {
            const std::size_t len = std::min(kBlock, prefix - at);
            ok = mmap(area.p + at, len, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) !=
                 MAP_FAILED;
        }
        close(fd);
    }
};

// The bottom kModelRows rows of a source: zero rows, then kPattern random rows whose values are
// 0 in about a third of the pixels (so that distances stay short) and otherwise 1..255.
std::vector<std::uint8_t> random_bottom(std::uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> rows(std::size_t(kModelRows) * kSide, 0);
    for (std::size_t i = std::size_t(kModelRows - kPattern) * kSide; i < rows.size(); ++i)
        rows[i] = gen() % 3 == 0 ? 0 : std::uint8_t(1 + gen() % 255);
    rows.back() = 201;  // the image's very last byte
    return rows;
}

// A lazily mapped kSide x kSide image holding `bottom` in its last rows.
struct BigImage {
    Lazy mem{std::size_t(kSide) * kSide};
    std::vector<std::uint8_t> bottom;
    explicit BigImage(std::uint32_t seed) : bottom(random_bottom(seed))
    {
        if (mem.p) std::copy(bottom.begin(), bottom.end(), row(kSide - kModelRows));
    }
    std::uint8_t *row(std::int64_t y) const { return mem.p + y * kSide; }
};

class Large : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        a = new BigImage(1);
        b = new BigImage(2);
    }
    static void TearDownTestSuite()
    {
        delete a;
        delete b;
    }
    void SetUp() override
    {
        if (!a->mem.p || !b->mem.p)
            GTEST_SKIP() << "cannot map two images of " << kSide << "^2 bytes";
        start = std::chrono::steady_clock::now();
    }
    void TearDown() override
    {
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  %.1f s\n", s);
    }
    static BigImage *a, *b;
    std::chrono::steady_clock::time_point start;
};
BigImage *Large::a = nullptr;
BigImage *Large::b = nullptr;

// Compares the last `rows` rows of a destination (rows `width` elements, `step` bytes apart, the
// last one ending at `end`) with the last rows of a model of `modelRows` rows.
template <class T>
void expect_last_rows(const std::uint8_t *first, std::int64_t height, int step,
                      const std::vector<T> &model, int width, int rows, const char *what)
{
    const int modelRows = int(model.size() / width);
    for (int i = 1; i <= rows; ++i) {
        const T *got = reinterpret_cast<const T *>(first + (height - i) * step);
        const T *want = model.data() + std::size_t(modelRows - i) * width;
        for (int x = 0; x < width; ++x)
            if (std::memcmp(&got[x], &want[x], sizeof(T)) != 0) {
                ADD_FAILURE() << what << ": row " << height - i << " column " << x << " is "
                              << +got[x] << ", expected " << +want[x];
                return;
            }
    }
}

TEST_F(Large, AbsDiffAsOneLongRow)
{
    Output d(std::size_t(kSide) * kSide, std::size_t(kModelRows) * kSide);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(zyliAbsDiff_8u_C1R(a->mem.p, kSide, b->mem.p, kSide, d.area.p, kSide, {kSide, kSide}),
              zylStatusOk);
    std::vector<std::uint8_t> want(a->bottom.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        want[i] = std::uint8_t(std::abs(a->bottom[i] - b->bottom[i]));
    expect_last_rows(d.area.p, kSide, kSide, want, kSide, kModelRows, "absdiff");
}

TEST_F(Large, MaskedMean)
{
    // The image is its own mask: the mean of its non-zero pixels, all in the bottom rows.
    std::int64_t sum = 0, count = 0;
    for (std::uint8_t v : a->bottom) sum += v, count += v != 0;
    Zyl64f mean = -1.0;
    ASSERT_EQ(zyliMean_8u_C1MR(a->mem.p, kSide, a->mem.p, kSide, {kSide, kSide}, &mean),
              zylStatusOk);
    EXPECT_EQ(mean, double(sum) / double(count));
}

TEST_F(Large, ErosionByRectangle)
{
    // 5 x 3 rectangle, anchor (2, 1): the minimum over columns x-2..x+2 and rows y-1..y+1,
    // clamped to the image.
    const int mw = 5, mh = 3, ax = 2, ay = 1;
    ZyliMorphState *st = nullptr;
    ASSERT_EQ(zyliMorphologyInitAlloc(kSide, zyl8u, 1, {mw, mh}, {ax, ay}, zylMorphShapeRect,
                                      nullptr, &st),
              zylStatusOk);
    Output d(std::size_t(kSide) * kSide, std::size_t(kModelRows) * kSide);
    ASSERT_TRUE(d.ok);
    ZyliSize roi{kSide, kSide};
    const ZylStatus s =
        zyliErodeStrip_Rect_8u_C1R(a->mem.p, kSide, d.area.p, kSide, &roi, st, zylStripWhole);
    zyliMorphologyFree(&st);
    ASSERT_EQ(s, zylStatusOk);
    ASSERT_EQ(roi.height, kSide);

    const std::vector<std::uint8_t> &src = a->bottom;
    std::vector<std::uint8_t> want(src.size());
    for (int y = 0; y < kModelRows; ++y)
        for (int x = 0; x < kSide; ++x) {
            int m = 255;
            for (int i = 0; i < mh; ++i)
                for (int j = 0; j < mw; ++j) {
                    const int yy = std::clamp(y - ay + i, 0, kModelRows - 1),
                              xx = std::clamp(x - ax + j, 0, kSide - 1);
                    m = std::min<int>(m, src[std::size_t(yy) * kSide + xx]);
                }
            want[std::size_t(y) * kSide + x] = std::uint8_t(m);
        }
    expect_last_rows(d.area.p, kSide, kSide, want, kSide, kModelRows - 1, "erosion");
}

TEST_F(Large, PyrDown)
{
    const int half = kSide / 2;
    Zyl32s size = 0;
    ASSERT_EQ(zyliPyrDownGetBufSize_Gauss5x5(kSide, zyl8u, 1, &size), zylStatusOk);
    std::vector<Zyl8u> buffer(size);
    Output d(std::size_t(half) * half, std::size_t(kModelRows) * half);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(
        zyliPyrDown_Gauss5x5_8u_C1R(b->mem.p, kSide, d.area.p, half, {kSide, kSide}, buffer.data()),
        zylStatusOk);

    // Weights 1 4 6 4 1 in both directions, mirrored borders without repeating the edge, (v + 128) >> 8.
    const int k[5] = {1, 4, 6, 4, 1};
    auto mirror = [](int i, int n) { return i < 0 ? -i : i >= n ? 2 * n - 2 - i : i; };
    const std::vector<std::uint8_t> &src = b->bottom;
    std::vector<int> h(std::size_t(kModelRows) * half);
    for (int y = 0; y < kModelRows; ++y)
        for (int x = 0; x < half; ++x) {
            int v = 0;
            for (int i = 0; i < 5; ++i)
                v += k[i] * src[std::size_t(y) * kSide + mirror(2 * x - 2 + i, kSide)];
            h[std::size_t(y) * half + x] = v;
        }
    std::vector<std::uint8_t> want(std::size_t(kModelRows / 2) * half);
    for (int y = 0; y < kModelRows / 2; ++y)
        for (int x = 0; x < half; ++x) {
            int v = 0;
            for (int j = 0; j < 5; ++j)
                v += k[j] * h[std::size_t(mirror(2 * y - 2 + j, kModelRows)) * half + x];
            want[std::size_t(y) * half + x] = std::uint8_t((v + 128) >> 8);
        }
    expect_last_rows(d.area.p, half, half, want, half, kModelRows / 2 - 2, "PyrDown");
}

TEST_F(Large, DistanceTransform)
{
    Zyl32f metrics[2];
    ASSERT_EQ(zyliGetDistanceTransformMask(32, metrics), zylStatusOk);
    const int dstStep = 4 * kSide;
    Output d(std::size_t(dstStep) * kSide, std::size_t(kModelRows) * dstStep);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(zyliDistanceTransform_3x3_8u32f_C1R(a->mem.p, kSide,
                                                  reinterpret_cast<Zyl32f *>(d.area.p), dstStep,
                                                  {kSide, kSide}, metrics),
              zylStatusOk);

    // Costs in units of 2^-18 rounded to the nearest integer; zero pixels start at 0, others at
    // 0x3FFFFFFF; a forward pass (left, up-left, up, up-right) and a backward pass (mirrored),
    // each in place; then the integer as a float times 2^-18.
    const std::int64_t A = std::llrint(double(metrics[0]) * 262144.0),
                       B = std::llrint(double(metrics[1]) * 262144.0);
    const int w = kSide, h = kModelRows;
    std::vector<std::int64_t> I(std::size_t(w) * h);
    for (std::size_t i = 0; i < I.size(); ++i) I[i] = a->bottom[i] ? 0x3FFFFFFF : 0;
    auto at = [&](int x, int y) -> std::int64_t & { return I[std::size_t(y) * w + x]; };
    auto relax = [&](int x, int y, int dx, int dy, std::int64_t c) {
        if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h)
            at(x, y) = std::min(at(x, y), at(x + dx, y + dy) + c);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            relax(x, y, -1, 0, A), relax(x, y, -1, -1, B), relax(x, y, 0, -1, A),
                relax(x, y, 1, -1, B);
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x)
            relax(x, y, 1, 0, A), relax(x, y, 1, 1, B), relax(x, y, 0, 1, A), relax(x, y, -1, 1, B);
    std::vector<Zyl32f> want(I.size());
    for (std::size_t i = 0; i < I.size(); ++i) want[i] = float(I[i]) * 0x1p-18f;
    expect_last_rows(d.area.p, kSide, dstStep, want, kSide, kModelRows, "distance transform");
}

TEST_F(Large, SampleLineOfThreeChannelPixels)
{
    // A vertical line through a one-pixel-wide 3-channel image of 716000000 rows: the samples
    // fill 2148000000 bytes, so sample offsets pass 2^31.
    const int rows = 716000000, tailSamples = 4096;
    Lazy img(std::size_t(3) * rows);
    ASSERT_TRUE(img.p);
    std::mt19937 gen(3);
    std::vector<std::uint8_t> last(std::size_t(3) * tailSamples);
    for (auto &v : last) v = std::uint8_t(gen());
    std::copy(last.begin(), last.end(), img.p + std::size_t(3) * (rows - tailSamples));
    Output d(std::size_t(3) * rows, last.size());
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(zyliSampleLine_8u_C3R(img.p, 3, {1, rows}, d.area.p, {0, 0}, {0, rows - 1}),
              zylStatusOk);
    EXPECT_EQ(
        std::memcmp(d.area.p + std::size_t(3) * (rows - tailSamples), last.data(), last.size()), 0);
}

}  // namespace

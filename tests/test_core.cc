// Allocator, version record and constant tables.
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>

#include "support.h"
#if ZYLCV_AVX2
#include "core/cpu.h"
#endif

namespace {

std::uintptr_t addr(const void *p) { return reinterpret_cast<std::uintptr_t>(p); }

// Blocks are 32-byte aligned, usable over their whole length (ASan checks bounds) and released
// once. A negative length allocates nothing: it would wrap to a request too small for the word
// that keeps the raw address.
TEST(Alloc, AlignedUsableAndReleasedOnce)
{
    for (int n : {0, 1, 7, 31, 32, 33, 100, 4096, 1 << 20, -1, -10, -36, -37, -1000,
                  std::numeric_limits<int>::min()}) {
        SCOPED_TRACE(n);
        void *p = zyliAlloc(n), *q = _zycvAlloc(n);
        if (n < 0) {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(q, nullptr);
            continue;
        }
        ASSERT_NE(p, nullptr);
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(addr(p) % 32, 0u);
        EXPECT_EQ(addr(q) % 32, 0u);
        EXPECT_NE(p, q);
        std::memset(p, 0x5A, std::size_t(n));
        _zycvFree_(&p);
        EXPECT_EQ(p, nullptr);
        _zycvFree_(&p);  // finds null: nothing happens
        EXPECT_EQ(p, nullptr);
        _zycvFree_(&q);
        EXPECT_EQ(q, nullptr);
    }
}

// The public enumerations are int-sized with a fixed type, so any int a C caller passes as a
// strip role, data type or shape is a value the checks can refuse.
static_assert(std::is_same_v<std::underlying_type_t<ZylStripRole>, int>);
static_assert(std::is_same_v<std::underlying_type_t<ZylDataType>, int>);
static_assert(std::is_same_v<std::underlying_type_t<ZylMorphShape>, int>);
static_assert(std::is_same_v<std::underlying_type_t<ZylStatusCode>, int>);

TEST(Alloc, ReleaseIgnoresForeignPointers)
{
    _zycvFree_(nullptr);
    void *block = zyliAlloc(64);
    ASSERT_NE(block, nullptr);
    // Pointers that are not 32-byte aligned did not come from the allocator: left alone.
    for (int off : {8, 16, 24, 1}) {
        void *p = static_cast<char *>(block) + off;
        void *keep = p;
        _zycvFree_(&p);
        EXPECT_EQ(p, keep) << off;
    }
    _zycvFree_(&block);
    EXPECT_EQ(block, nullptr);
}

TEST(Version, ConstantRecord)
{
    const ZylLibVersion *v = zylcvGetLibVersion();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v, zylcvGetLibVersion());
    EXPECT_EQ(std::tuple(v->versionMajor, v->versionMinor, v->buildMajor, v->buildNumber),
              std::tuple(2, 0, 1, 24));
    EXPECT_STREQ(v->targetTag, "k4");
    EXPECT_EQ(v->targetTag[3], 0);
    EXPECT_STREQ(v->libraryName, "zylcvk4");
    EXPECT_STREQ(v->versionText, "v2.0 gold SP1");
    EXPECT_STREQ(v->buildDateText, "Aug 23 2002");
    EXPECT_EQ(offsetof(ZylLibVersion, targetTag), 16u);
    EXPECT_EQ(offsetof(ZylLibVersion, libraryName), 20u + (sizeof(void *) == 8 ? 4u : 0u));
}

TEST(Tables, ByteToFloat)
{
    // Both 8s and 8u values convert through index 128 + v.
    for (int v = -128; v <= 255; ++v) ASSERT_EQ(k4__zycv8to32f[128 + v], float(v));
    EXPECT_EQ(zt::bits_of(k4__zycv8to32f[128]), 0u);  // +0.0
}

TEST(Tables, ChannelMasks)
{
    EXPECT_EQ(addr(k4_zycvCoiMaskA) % 256, 0u);
    for (int r = 0; r < 3; ++r)
        for (int j = 0; j < 48; ++j) {
            Zyl8u want = (j % 3 == r) ? 0xFF : 0x00;
            ASSERT_EQ(_zycvCoiMaskd[r][j], want) << r << "," << j;
            ASSERT_EQ(k4_zycvCoiMaskA[r][j], want) << r << "," << j;
            if (j < 24) ASSERT_EQ(_zycvCoiMask_K4[r][j], want) << r << "," << j;
        }
}

TEST(Tables, MaskShuffle)
{
    // Bit k of the entry index selects byte 3k mod 8.
    const int byteOfBit[8] = {0, 3, 6, 1, 4, 7, 2, 5};
    for (int b = 0; b < 256; ++b) {
        Zyl8u want[8] = {};
        for (int k = 0; k < 8; ++k)
            if (b & (1 << k)) want[byteOfBit[k]] = 0xFF;
        ASSERT_EQ(std::memcmp(_zycvMaskShuffTable_K4[b], want, 8), 0) << b;
    }
}

TEST(Tables, Bias)
{
    for (int i = 0; i < 16; ++i) EXPECT_EQ(_zycvAdd128d[i], 0x80);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(_zycvAdd128_K4[i], 0x80);
}

}  // namespace

#if ZYLCV_AVX2
extern "C" decltype(zyliAbsDiff_8u_C1R) zyliAbsDiff_8u_C1R_sse2, zyliAbsDiff_8u_C1R_avx2;
extern "C" void (*zylcv_resolve_zyliAbsDiff_8u_C1R())();

// The twin decision from given feature words: AVX2 only with AVX, AVX2, OSXSAVE and both SSE and
// AVX state enabled in XCR0, and only when leaf 7 exists.
TEST(Dispatch, DecisionFromFeatureBits)
{
    const unsigned osxsave = 1u << 27, avx = 1u << 28, avx2 = 1u << 5;
    struct Case {
        zylcv::cpu::Features f;
        bool avx2;
    };
    const Case cases[] = {
        {{13, osxsave | avx, avx2, 0x7}, true},  {{7, osxsave | avx, avx2, 0x6}, true},
        {{13, osxsave | avx, 0, 0x7}, false},     // no AVX2
        {{13, osxsave, avx2, 0x7}, false},        // no AVX
        {{13, avx, avx2, 0x7}, false},            // OS does not use XSAVE
        {{13, osxsave | avx, avx2, 0x3}, false},  // YMM state not saved
        {{13, osxsave | avx, avx2, 0x5}, false},  // XMM state not saved
        {{6, osxsave | avx, avx2, 0x7}, false},   // leaf 7 absent: its bits mean nothing
        {{13, ~0u & ~avx, ~0u, ~0ull}, false},
    };
    int sse2Entry = 0, avx2Entry = 0;
    for (const Case &c : cases) {
        EXPECT_EQ(zylcv::cpu::avx2_usable(c.f), c.avx2) << c.f.maxLeaf << " " << c.f.leaf1Ecx;
        EXPECT_EQ(zylcv::cpu::pick(c.f, &sse2Entry, &avx2Entry), c.avx2 ? &avx2Entry : &sse2Entry);
    }
}

// On this machine the loader binds the exported function to the copy the CPU runs, which the
// compiler's own CPU detection confirms; where both run, they give the same bytes.
TEST(Dispatch, ResolverPicksTheCopyThisCpuRuns)
{
    const bool avx2 = __builtin_cpu_supports("avx2");
    EXPECT_EQ(zylcv::cpu::avx2_usable(zylcv::cpu::read()), avx2);
    const auto want = avx2 ? zyliAbsDiff_8u_C1R_avx2 : zyliAbsDiff_8u_C1R_sse2;
    EXPECT_EQ(reinterpret_cast<void *>(zylcv_resolve_zyliAbsDiff_8u_C1R()),
              reinterpret_cast<void *>(want));
    if (!avx2) GTEST_SKIP() << "this CPU lacks AVX2: the loader chose the SSE2 copy";
    const Zyl8u a[3] = {1, 200, 7}, b[3] = {9, 100, 7};
    Zyl8u d[2][3];
    ASSERT_EQ(zyliAbsDiff_8u_C1R_sse2(a, 3, b, 3, d[0], 3, {3, 1}), zylStatusOk);
    ASSERT_EQ(zyliAbsDiff_8u_C1R_avx2(a, 3, b, 3, d[1], 3, {3, 1}), zylStatusOk);
    EXPECT_EQ(std::memcmp(d[0], d[1], 3), 0);
    EXPECT_EQ(d[0][1], 100);
}
#endif

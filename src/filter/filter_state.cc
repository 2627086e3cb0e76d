// Filter states of the strip filters: the three constructors, the destructor and the 1-D
// Sobel kernels.
#include "filter_state.h"

using namespace zylcv;

namespace {

bool known_type(int t) { return t == zyl8u || t == zyl8s || t == zyl32f; }
bool odd_size_3_to_7(int k) { return k == 3 || k == 5 || k == 7; }

// A 1-D kernel of size k and derivative order m: the coefficients of (1+z)^(k-1-m) (z-1)^m,
// built by k-1-m smoothing passes and m difference passes over entries 0..k; entry k stays 0.
// `negate` flips an odd-order kernel (vertical kernels of bottom-up images).
void build_kernel(unsigned char *field, int k, int m, bool negate, bool f32)
{
    int e[16];
    e[0] = 1;
    for (int i = 1; i <= k; ++i) e[i] = 0;
    for (int pass = 0; pass < k - 1 - m; ++pass)
        for (int i = k - 1; i >= 1; --i) e[i] = e[i] + e[i - 1];
    for (int pass = 0; pass < m; ++pass) {
        for (int i = k - 1; i >= 1; --i) e[i] = e[i - 1] - e[i];
        e[0] = -e[0];
    }
    if (m % 2 == 1 && negate)
        for (int i = 0; i < k; ++i) e[i] = -e[i];
    for (int i = 0; i <= k; ++i) filter::put_entry(field, i, e[i], f32);
}

// Allocates header + nRows row buffers + tail, clears it and fills in everything but the
// kernels. A block whose size does not fit the allocator's 32-bit length is reported like a
// refusal of the heap; in both cases *pp is left as it was.
ZyliConvState *new_state(int maxWidth, ZylDataType type, int k, filter::Kind kind, int nRows,
                         Zyl32s stateCode)
{
    const std::int64_t rowBytes = filter::row_bytes(maxWidth);
    const std::int64_t total = std::int64_t(sizeof(ZyliConvState)) + nRows * rowBytes +
                               std::int64_t(sizeof(filter::StateTail));
    if (total > INT32_MAX) return nullptr;
    void *block = _zycvAlloc(static_cast<Zyl32s>(total));
    if (!block) return nullptr;
    // Clear the whole block, so that no row buffer is ever read before it is written.
    auto *words = static_cast<std::uint32_t *>(block);
    for (std::int64_t i = 0; i < total / 4; ++i) words[i] = 0;
    auto *st = static_cast<ZyliConvState *>(block);
    char *area = reinterpret_cast<char *>(st) + sizeof(ZyliConvState);
    st->rowArea = area;
    st->stateCode = stateCode;
    st->pending = k;
    for (int i = 0; i < 16; ++i) st->rows[i] = i < nRows ? area + i * rowBytes : nullptr;
    filter::StateTail &t = filter::tail(*st);
    t.maxWidth = maxWidth;
    t.kind = kind;
    t.dataType = type;
    t.ringRows = 0;
    return st;
}

// The Laplace and box-sum constructors: the same checks, n row buffers, stateCode 8*k; the
// Laplace state also gets its two kernels (order 2 along x, order 0 along y).
template <filter::Kind K>
ZylStatus init_symmetric(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                         ZyliConvState **ppState)
{
    if (!ppState) return zylStatusNullPtr;
    if (maxRoiWidth < 1 || !odd_size_3_to_7(kernelSize)) return zylStatusBadSize;
    const int type = dataType;
    if (!known_type(type)) return zylStatusBadArg;
    const int nRows = K == filter::kLaplace ? 2 * kernelSize : kernelSize + 1;
    ZyliConvState *st = new_state(maxRoiWidth, dataType, kernelSize, K, nRows, 8 * kernelSize);
    if (!st) return zylStatusNoMemory;
    if (K == filter::kLaplace) {
        build_kernel(st->kernelX, kernelSize, 2, false, type == zyl32f);
        build_kernel(st->kernelY, kernelSize, 0, false, type == zyl32f);
    }
    *ppState = st;
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliSobelInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                                       Zyl32s bottomUp, Zyl32s xOrder, Zyl32s yOrder,
                                       ZyliConvState **ppState)
{
    if (!ppState) return zylStatusNullPtr;
    if (maxRoiWidth < 1) return zylStatusBadSize;
    if (bottomUp != 0 && bottomUp != 1) return zylStatusBadArg;
    if (!odd_size_3_to_7(kernelSize) || xOrder < 0 || yOrder < 0 || xOrder > kernelSize - 1 ||
        yOrder > kernelSize - 1)
        return zylStatusBadSize;
    const int type = dataType;
    if (!known_type(type)) return zylStatusBadArg;
    const Zyl32s code = 8 * kernelSize + 4 * bottomUp + xOrder % 2 + 2 * (yOrder % 2);
    ZyliConvState *st =
        new_state(maxRoiWidth, dataType, kernelSize, filter::kSobel, kernelSize, code);
    if (!st) return zylStatusNoMemory;
    const bool f32 = type == zyl32f;
    build_kernel(st->kernelX, kernelSize, xOrder, false, f32);
    build_kernel(st->kernelY, kernelSize, yOrder, bottomUp == 1, f32);
    *ppState = st;
    return zylStatusOk;
}

ZYLCV_API ZylStatus zyliLaplaceInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType,
                                         Zyl32s kernelSize, ZyliConvState **ppState)
{
    return init_symmetric<filter::kLaplace>(maxRoiWidth, dataType, kernelSize, ppState);
}

ZYLCV_API ZylStatus zyliBlurInitAlloc(Zyl32s maxRoiWidth, ZylDataType dataType, Zyl32s kernelSize,
                                      ZyliConvState **ppState)
{
    return init_symmetric<filter::kBlur>(maxRoiWidth, dataType, kernelSize, ppState);
}

ZYLCV_API ZylStatus zyliConvolFree(ZyliConvState **ppState)
{
    if (!ppState) return zylStatusNullPtr;
    _zycvFree_(reinterpret_cast<void **>(ppState));
    return zylStatusOk;
}

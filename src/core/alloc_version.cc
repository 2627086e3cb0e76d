// The aligned allocator and the constant version record.
#include <cstdlib>

#include "internal.h"

namespace {

// The raw address sits in the pointer-sized word just below the block handed out. With the
// 8-byte alignment malloc guarantees, the block starts 8 to 32 bytes past the raw address, so
// that word always lies inside the allocation.
constexpr std::size_t kAllocPad = 36;

void **raw_slot(void *p) { return static_cast<void **>(p) - 1; }

constexpr ZylLibVersion kVersion = {
    2, 0, 1, 24, {'k', '4', 0, 0}, "zylcvk4", "v2.0 gold SP1", "Aug 23 2002"};

}  // namespace

ZYLCV_API void *_zycvAlloc(Zyl32s len)
{
    // A negative length would wrap to a tiny request whose raw-address word lands outside it.
    if (len < 0) return nullptr;
    std::size_t n = static_cast<std::size_t>(len) + kAllocPad;
    void *raw = std::malloc(n);
    if (!raw) return nullptr;
    std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(raw) + kAllocPad) & ~std::uintptr_t{31};
    void *block = reinterpret_cast<void *>(p);
    *raw_slot(block) = raw;
    return block;
}

ZYLCV_API void *zyliAlloc(Zyl32s len) { return _zycvAlloc(len); }

ZYLCV_API void _zycvFree_(void **pp)
{
    if (!pp) return;
    void *p = *pp;
    // Pointers that did not come from the allocator (null or not 32-byte aligned) are ignored.
    if (!p || (reinterpret_cast<std::uintptr_t>(p) & 31) != 0) return;
    std::free(*raw_slot(p));
    *pp = nullptr;
}

ZYLCV_API const ZylLibVersion *zylcvGetLibVersion(void) { return &kVersion; }

// Portable motion-history kernel: each row pixel by pixel through the shared span helper.
#include "motion_history.h"

namespace zylcv::portable {

void update_motion_history(const Zyl8u *sil, int silStep, Zyl32f *mhi, int mhiStep, int width,
                           int height, std::uint32_t timestamp, std::uint32_t limit)
{
    const std::int32_t limitKey = order_key(limit);
    for (int y = 0; y < height; ++y) {
        mhi_span(sil, reinterpret_cast<FloatBits *>(mhi), 0, width, timestamp, limitKey);
        sil = advance(sil, silStep);
        mhi = advance(mhi, mhiStep);
    }
}

}  // namespace zylcv::portable

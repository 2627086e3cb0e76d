// Ring of row buffers shared by the strip drivers (filters and morphology).
#ifndef ZYLCV_CORE_RING_H
#define ZYLCV_CORE_RING_H

namespace zylcv {

// Rotating moves the oldest buffer (entry 0) to the newest place (entry k - 1).
template <class P> inline void rotate(P *ring, int k)
{
    P oldest = ring[0];
    for (int i = 0; i + 1 < k; ++i) ring[i] = ring[i + 1];
    ring[k - 1] = oldest;
}

}  // namespace zylcv

#endif

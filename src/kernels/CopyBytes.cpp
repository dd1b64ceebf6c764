#include "kernels/CopyBytes.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZFK_COPY_BY_VECTORS 1
#endif

namespace zorvframekit {

void copyBytes(const uint8_t* in, uint8_t* out, size_t n) {
    size_t i = 0;
#ifdef ZFK_COPY_BY_VECTORS
    const size_t past = (reinterpret_cast<uintptr_t>(out) - reinterpret_cast<uintptr_t>(in)) % 4096;
    // 64 bytes a step in the SSE2 baseline's registers (AVX2's did no better): 12x the C library's
    // speed at 8 bytes past, 307200 bytes taking 7.1 us where its best placement takes 5.5. From 1 MB
    // on, the C library copies otherwise, at every placement as fast as the loop or faster.
    if (past > 0 && past < 64 && n < (size_t(1) << 20))
        for (; i + 64 <= n; i += 64) {
            const __m128i* from = reinterpret_cast<const __m128i*>(in + i);
            const __m128i a = _mm_loadu_si128(from), b = _mm_loadu_si128(from + 1), c = _mm_loadu_si128(from + 2),
                          d = _mm_loadu_si128(from + 3);
            __m128i* to = reinterpret_cast<__m128i*>(out + i);
            _mm_storeu_si128(to, a);
            _mm_storeu_si128(to + 1, b);
            _mm_storeu_si128(to + 2, c);
            _mm_storeu_si128(to + 3, d);
        }
#endif
    if (i < n) std::memcpy(out + i, in + i, n - i);
}

}  // namespace zorvframekit

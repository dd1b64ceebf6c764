// AVX-512 kernels (with the byte-granular BW and the 256-bit VL instructions): byte-masked stores,
// which write 3 bytes of a 4-byte pixel and leave the fourth untouched at the speed of a whole
// store. Everything else is the AVX2 table's.
#include <immintrin.h>

#include "kernels/KernelSets.h"

namespace zorvframekit {

namespace {

// Eight pixels a step: their bytes 0 and 2 exchanged, and only bytes 0 to 2 of each stored.
void swap4(const uint8_t* in, uint8_t* out, int n) {
    const __m256i swap = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1, 0, 3, 6, 5, 4, 7,
                                          10, 9, 8, 11, 14, 13, 12, 15);
    const __mmask32 firstThree = 0x77777777u;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * i));
        _mm256_mask_storeu_epi8(out + 4 * i, firstThree, _mm256_shuffle_epi8(pixels, swap));
    }
    plain::swap4(in + 4 * i, out + 4 * i, n - i);
}

}  // namespace

void addAVX512Kernels(RowKernels& table) { table.swap4 = swap4; }

}  // namespace zorvframekit

// A block copy that keeps its speed wherever its two buffers lie.
#ifndef ZORVFRAMEKIT_KERNELS_COPYBYTES_H
#define ZORVFRAMEKIT_KERNELS_COPYBYTES_H

#include <cstddef>
#include <cstdint>

namespace zorvframekit {

// n bytes from in to out (which do not overlap), as memcpy copies them: the copy kernel of the
// table in use. The C library's copy can be many times slower at some placements of the two buffers,
// or on some processors than a plain vector loop; see the SSE2 and AVX2 kernels.
void copyBytes(const uint8_t* in, uint8_t* out, size_t n);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_COPYBYTES_H

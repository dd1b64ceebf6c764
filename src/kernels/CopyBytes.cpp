#include "kernels/CopyBytes.h"

#include "kernels/RowKernels.h"

namespace zorvframekit {

void copyBytes(const uint8_t* in, uint8_t* out, size_t n) { rowKernels().copy(in, out, n); }

}  // namespace zorvframekit

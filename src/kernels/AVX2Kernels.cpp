// AVX2 kernels.
#include "kernels/KernelSets.h"

namespace zorvframekit {

void addAVX2Kernels(RowKernels&) {}

}  // namespace zorvframekit

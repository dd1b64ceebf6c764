// SSSE3 kernels.
#include "kernels/KernelSets.h"

namespace zorvframekit {

void addSSSE3Kernels(RowKernels&) {}

}  // namespace zorvframekit

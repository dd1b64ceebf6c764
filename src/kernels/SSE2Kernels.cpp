// SSE2 kernels.
#include "kernels/KernelSets.h"

namespace zorvframekit {

void addSSE2Kernels(RowKernels&) {}

}  // namespace zorvframekit

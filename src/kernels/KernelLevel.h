// The instruction sets the kernels come in, and which of them this processor (and its operating
// system) can run. Apart from the kernels so that the command-line tool can tell which level the
// library it loads runs, without reaching into it.
#ifndef ZORVFRAMEKIT_KERNELS_KERNELLEVEL_H
#define ZORVFRAMEKIT_KERNELS_KERNELLEVEL_H

namespace zorvframekit {

// AVX512: the byte, 256-bit and byte-permute instructions of AVX-512 (BW, VL, VBMI) beside AVX2.
enum class KernelLevel { Plain, SSE2, SSSE3, AVX2, AVX512 };
const int kKernelLevelCount = 5;

// The highest level this processor runs: what its identification says it has, and, for AVX and
// AVX-512, whether the operating system saves the wider registers on a switch.
KernelLevel processorKernelLevel();

const char* kernelLevelName(KernelLevel level);

// The level a command line names: plain, sse2, ssse3, avx2 or avx-512 (any case, or the start of
// one of them); false for anything else.
bool parseKernelLevel(const char* name, KernelLevel* level);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_KERNELLEVEL_H

// The one place that decides which kernels run: what the processor has (and, for AVX, whether the
// operating system saves the wider registers), decided once on first use.
#include <atomic>

#include "kernels/KernelSets.h"

#if defined(ZORVFRAMEKIT_X86_KERNELS)
#include <cpuid.h>
#endif

namespace zorvframekit {

namespace {

#if defined(ZORVFRAMEKIT_X86_KERNELS)
// The register state the operating system saves on a switch (XCR0): bits 1 and 2 for SSE and AVX,
// 5 to 7 for AVX-512's mask registers and wider registers.
unsigned savedRegisterState() {
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return low;
}

KernelLevel detectLevel() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(d & bit_SSE2)) return KernelLevel::Plain;
    if (!(c & bit_SSSE3)) return KernelLevel::SSE2;
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX) || __get_cpuid_max(0, nullptr) < 7) return KernelLevel::SSSE3;
    const unsigned saved = savedRegisterState();
    __cpuid_count(7, 0, a, b, c, d);
    if ((saved & 0x06) != 0x06 || !(b & bit_AVX2)) return KernelLevel::SSSE3;
    const unsigned avx512 = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
    if ((saved & 0xE6) != 0xE6 || (b & avx512) != avx512) return KernelLevel::AVX2;
    return KernelLevel::AVX512;
}
#else
KernelLevel detectLevel() { return KernelLevel::Plain; }
#endif

// Each level's table starts as the one below it and replaces what its instruction set does better.
struct Tables {
    RowKernels table[kKernelLevelCount];
    KernelLevel best;

    Tables() : best(detectLevel()) {
        plain::setKernels(table[0]);
#if defined(ZORVFRAMEKIT_X86_KERNELS)
        void (*const add[kKernelLevelCount])(RowKernels&) = {nullptr, addSSE2Kernels, addSSSE3Kernels, addAVX2Kernels,
                                                             addAVX512Kernels};
        for (int level = 1; level <= static_cast<int>(best); ++level) {
            table[level] = table[level - 1];
            add[level](table[level]);
            table[level].level = static_cast<KernelLevel>(level);
        }
#endif
    }
};

const Tables& tables() {
    static const Tables built;
    return built;
}

std::atomic<const RowKernels*> active{nullptr};

}  // namespace

KernelLevel bestKernelLevel() { return tables().best; }

const RowKernels* kernelsAt(KernelLevel level) {
    if (static_cast<int>(level) < 0 || level > bestKernelLevel()) return nullptr;
    return &tables().table[static_cast<int>(level)];
}

const RowKernels& rowKernels() {
    const RowKernels* kernels = active.load(std::memory_order_acquire);
    if (kernels != nullptr) return *kernels;
    const RowKernels* best = kernelsAt(bestKernelLevel());
    // Threads racing here all pick the same table; a forced level set meanwhile wins.
    active.compare_exchange_strong(kernels, best, std::memory_order_acq_rel);
    return *active.load(std::memory_order_acquire);
}

bool forceKernelLevel(KernelLevel level) {
    const RowKernels* kernels = kernelsAt(level);
    if (kernels == nullptr) return false;
    active.store(kernels, std::memory_order_release);
    return true;
}

const char* kernelLevelName(KernelLevel level) {
    switch (level) {
    case KernelLevel::Plain: return "plain C++";
    case KernelLevel::SSE2: return "SSE2";
    case KernelLevel::SSSE3: return "SSSE3";
    case KernelLevel::AVX2: return "AVX2";
    case KernelLevel::AVX512: return "AVX-512";
    }
    return "unknown";
}

}  // namespace zorvframekit

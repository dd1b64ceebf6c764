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
// XCR0 bits 1 and 2: the operating system saves the SSE and the AVX register state on a switch.
bool osSavesAVXState() {
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 6) == 6;
}

KernelLevel detectLevel() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(d & bit_SSE2)) return KernelLevel::Plain;
    if (!(c & bit_SSSE3)) return KernelLevel::SSE2;
    const bool avx = (c & bit_OSXSAVE) && (c & bit_AVX) && osSavesAVXState();
    if (avx && __get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        if (b & bit_AVX2) return KernelLevel::AVX2;
    }
    return KernelLevel::SSSE3;
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
        void (*const add[kKernelLevelCount])(RowKernels&) = {nullptr, addSSE2Kernels, addSSSE3Kernels, addAVX2Kernels};
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
    }
    return "unknown";
}

}  // namespace zorvframekit

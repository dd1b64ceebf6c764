// The one place that decides which kernels run: the best level the processor runs that this build
// has kernels for, decided once on first use.
#include <atomic>
#include <new>

#include "kernels/KernelSets.h"
#include "platform/platform.h"

namespace zorvframekit {

namespace {

// Each level's table starts as the one below it and replaces what its instruction set does better.
struct Tables {
    RowKernels table[kKernelLevelCount];
    KernelLevel best;

    Tables() : best(KernelLevel::Plain) {
        plain::setKernels(table[0]);
#if defined(ZORVFRAMEKIT_X86_KERNELS)
        best = processorKernelLevel();
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

// Built by the first caller, the others waiting for it: a function's static would be guarded by a
// lock that MinGW's runtime makes from the heap on first use, and that could fail.
alignas(Tables) unsigned char tablesStorage[sizeof(Tables)];
std::atomic<int> tablesState{0};  // 0 not built, 1 being built, 2 built

const Tables& tables() {
    if (tablesState.load(std::memory_order_acquire) != 2) {
        int unbuilt = 0;
        if (tablesState.compare_exchange_strong(unbuilt, 1, std::memory_order_acq_rel)) {
            ::new (tablesStorage) Tables();
            tablesState.store(2, std::memory_order_release);
        }
        while (tablesState.load(std::memory_order_acquire) != 2) platform::sleepMs(0);
    }
    return *std::launder(reinterpret_cast<const Tables*>(tablesStorage));
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

}  // namespace zorvframekit

// Only in the test build of the library (zorvframekit_hooked): its failure hooks and kernel switch,
// exported, so that a test program or zfk bench reaches them through the shared library as an engine
// reaches the shipped one, which has none. On Windows it also counts the DLL's own operator new,
// which nothing in it may need.
#include <atomic>
#include <cstdlib>
#include <new>

#include "kernels/RowKernels.h"
#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::platform::FailureSite;

extern "C" ZORVFRAMEKIT_API void zfkTestFailAttempt(int site, long k) {
    zorvframekit::platform::failAttempt(static_cast<FailureSite>(site), k);
}

extern "C" ZORVFRAMEKIT_API long zfkTestAttempts(int site) {
    return zorvframekit::platform::attemptsAt(static_cast<FailureSite>(site));
}

// The kernel level the library runs (a KernelLevel), and a way to run a lower one: for measuring a
// build at each level a processor may have.
extern "C" ZORVFRAMEKIT_API int zfkTestKernelLevel() { return static_cast<int>(zorvframekit::rowKernels().level); }

extern "C" ZORVFRAMEKIT_API bool zfkTestForceKernelLevel(int level) {
    return zorvframekit::forceKernelLevel(static_cast<zorvframekit::KernelLevel>(level));
}

#if defined(_WIN32)
namespace {
std::atomic<long> operatorNewCalls{0};

void* counted(size_t bytes) {
    ++operatorNewCalls;
    return std::malloc(bytes != 0 ? bytes : 1);
}
}  // namespace

extern "C" ZORVFRAMEKIT_API long zfkTestOperatorNewCalls() { return operatorNewCalls.load(); }

void* operator new(size_t bytes) {
    if (void* block = counted(bytes)) return block;
    throw std::bad_alloc();
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return counted(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return counted(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
#else
// Elsewhere a shared library's operator new would stand in for the whole program's.
extern "C" ZORVFRAMEKIT_API long zfkTestOperatorNewCalls() { return -1; }
#endif

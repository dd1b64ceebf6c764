#include "kernels/KernelLevel.h"

#include <cctype>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace zorvframekit {

#if defined(__i386__) || defined(__x86_64__)
namespace {

// The register state the operating system saves on a switch (XCR0): bits 1 and 2 for SSE and AVX,
// 5 to 7 for AVX-512's mask registers and wider registers.
unsigned savedRegisterState() {
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return low;
}

}  // namespace

KernelLevel processorKernelLevel() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(d & bit_SSE2)) return KernelLevel::Plain;
    if (!(c & bit_SSSE3)) return KernelLevel::SSE2;
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX) || __get_cpuid_max(0, nullptr) < 7) return KernelLevel::SSSE3;
    const unsigned saved = savedRegisterState();
    __cpuid_count(7, 0, a, b, c, d);
    if ((saved & 0x06) != 0x06 || !(b & bit_AVX2)) return KernelLevel::SSSE3;
    const unsigned avx512 = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
    if ((saved & 0xE6) != 0xE6 || (b & avx512) != avx512 || !(c & bit_AVX512VBMI)) return KernelLevel::AVX2;
    return KernelLevel::AVX512;
}
#else
KernelLevel processorKernelLevel() { return KernelLevel::Plain; }
#endif

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

namespace {
// The next character that counts, in lower case: the names' dashes and spaces ("AVX-512", "plain
// C++") are passed over.
char nextFolded(const char*& text) {
    while (*text == '-' || *text == ' ') ++text;
    return *text != 0 ? static_cast<char>(std::tolower(static_cast<unsigned char>(*text++))) : 0;
}

// Whether `wanted` (folded) starts `name` (folded).
bool startsName(const char* wanted, const char* name) {
    bool any = false;
    for (char w; (w = nextFolded(wanted)) != 0; any = true)
        if (w != nextFolded(name)) return false;
    return any;
}
}  // namespace

bool parseKernelLevel(const char* name, KernelLevel* level) {
    for (int i = 0; i < kKernelLevelCount; ++i)
        if (startsName(name, kernelLevelName(static_cast<KernelLevel>(i)))) {
            *level = static_cast<KernelLevel>(i);
            return true;
        }
    return false;
}

}  // namespace zorvframekit

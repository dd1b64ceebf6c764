// The benchmark program's entry: Google Benchmark's flags, plus --kernels=plain|sse2|ssse3|avx2|avx-512 to
// run at a level below the best this machine has. The level that runs is named in the context.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "kernels/KernelLevel.h"
#include "kernels/RowKernels.h"

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const char* prefix = "--kernels=";
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) != 0) {
            rest.push_back(argv[i]);
            continue;
        }
        const char* wanted = argv[i] + std::strlen(prefix);
        zorvframekit::KernelLevel kernels;
        if (!zorvframekit::parseKernelLevel(wanted, &kernels)) {
            std::fprintf(stderr, "unknown kernel level '%s': plain, sse2, ssse3, avx2 or avx-512\n", wanted);
            return 2;
        }
        if (!zorvframekit::forceKernelLevel(kernels)) {
            std::fprintf(stderr, "this machine cannot run the %s kernels\n", zorvframekit::kernelLevelName(kernels));
            return 2;
        }
    }
    int count = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
    benchmark::AddCustomContext("kernels", zorvframekit::kernelLevelName(zorvframekit::rowKernels().level));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

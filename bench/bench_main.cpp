// The benchmark program's entry: Google Benchmark's flags, plus --kernels=plain|sse2|ssse3|avx2|avx-512 to
// run at a level below the best this machine has. The level that runs is named in the context.
#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/RowKernels.h"

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const char* prefix = "--kernels=";
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) != 0) {
            rest.push_back(argv[i]);
            continue;
        }
        const std::string wanted = argv[i] + std::strlen(prefix);
        bool found = false;
        for (int level = 0; level < zorvframekit::kKernelLevelCount; ++level) {
            const auto kernels = static_cast<zorvframekit::KernelLevel>(level);
            std::string name = zorvframekit::kernelLevelName(kernels);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (name.compare(0, wanted.size(), wanted) != 0 || wanted.empty()) continue;
            found = true;
            if (!zorvframekit::forceKernelLevel(kernels)) {
                std::fprintf(stderr, "this machine cannot run the %s kernels\n", zorvframekit::kernelLevelName(kernels));
                return 2;
            }
        }
        if (!found) {
            std::fprintf(stderr, "unknown kernel level '%s': plain, sse2, ssse3, avx2 or avx-512\n", wanted.c_str());
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

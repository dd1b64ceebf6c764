// Drives the shared library as an engine would, through its exported interface only: builds a
// memory limiter, charges and credits it, and prints what it saw. Stands in for the zfk tool until
// that exists.
#include <cstdio>

#include "zorvframekit/zorvframekit.h"

int main() {
    zorvframekit::MemoryLimiter limiter;
    const int limit = limiter.getMemoryLimit();
    std::printf("memory limit from available memory: %d bytes\n", limit);
    if (limit < 12288000 || limit > 1000000000) {
        std::printf("limit outside the default bounds\n");
        return 1;
    }
    limiter.incMemoryUsed(640 * 480);
    limiter.decMemoryUsed(1000);
    std::printf("used after charging 307200 and crediting 1000: %d bytes\n", limiter.getMemoryUsed());
    if (limiter.getMemoryUsed() != 640 * 480 - 1000) return 1;
    limiter.reset();
    if (limiter.getMemoryUsed() != 0) return 1;
    std::printf("smoke: ok\n");
    return 0;
}

// Reaches the out-of-memory paths: the test program's operator new fails, once, for the next
// allocation of a given size made on the calling thread. (On Windows only allocations made by code
// linked into the test program itself, not by the host libraries' DLLs.)
#ifndef ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H
#define ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H

#include <cstddef>

namespace testhook {

void failNextAllocationOfSize(std::size_t size);
// Whether the armed failure has not happened yet (and disarms it).
bool allocationFailureUnused();

}  // namespace testhook

#endif  // ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H

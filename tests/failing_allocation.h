// Reaches the out-of-memory paths: the next allocation the library makes from its heap fails, once
// (from any thread: arm it only where the test knows which allocation comes next).
#ifndef ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H
#define ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H

#include "platform/platform.h"

namespace testhook {

inline void failNextAllocation() {
    zorvframekit::platform::failAttempt(zorvframekit::platform::FailureSite::Allocation, 1);
}

// Whether the armed failure has happened (and disarms it).
inline bool allocationFailed() {
    using zorvframekit::platform::FailureSite;
    const bool failed = zorvframekit::platform::attemptsAt(FailureSite::Allocation) >= 1;
    zorvframekit::platform::failAttempt(FailureSite::Allocation, 0);
    return failed;
}

}  // namespace testhook

#endif  // ZORVFRAMEKIT_TESTS_FAILING_ALLOCATION_H

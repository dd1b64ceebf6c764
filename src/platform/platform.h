// The only window onto the operating system. Everything outside src/platform goes through here:
// threads with a per-thread message queue (the Win32 model), sleeping, available memory and clocks.
#ifndef ZORVFRAMEKIT_PLATFORM_PLATFORM_H
#define ZORVFRAMEKIT_PLATFORM_PLATFORM_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zorvframekit {
namespace platform {

typedef void* ThreadHandle;
typedef uint32_t ThreadId;  // never 0 for a running thread
typedef unsigned (*ThreadMain)(void* argument);

// Thread message numbers, the Win32 values.
const unsigned kMessageQuit = 0x0012;
const unsigned kMessageUser = 0x0400;

struct Message {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

// Starts `main(argument)` at once on a new thread. Returns its handle and stores its id in `*id`
// before the thread can run; returns null (and leaves `*id` 0) if no thread could be made.
ThreadHandle startThread(ThreadMain main, void* argument, ThreadId* id);

// Queues a message for thread `id`. Fails until that thread has a queue: a thread gets one the
// first time it calls waitMessage (or createMessageQueue).
bool postThreadMessage(ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam);

// Gives the calling thread its message queue, so that posts to it succeed from now on.
void createMessageQueue();

// Waits for the calling thread's next message. Returns 0 for kMessageQuit, a positive value for
// any other message, -1 on error.
int waitMessage(Message* message);

// Waits at most `timeoutMs` for the thread to end.
enum class WaitResult { Ended, TimedOut, Failed };
WaitResult waitForThread(ThreadHandle thread, uint32_t timeoutMs);
// True if it has ended within `timeoutMs`.
inline bool waitThread(ThreadHandle thread, uint32_t timeoutMs) {
    return waitForThread(thread, timeoutMs) == WaitResult::Ended;
}

// Gives up the handle. The thread itself runs on if it has not ended.
void closeThread(ThreadHandle thread);

ThreadId currentThreadId();

void sleepMs(uint32_t milliseconds);

// Physical memory available now, in bytes.
uint64_t availablePhysicalMemory();

// Makes availablePhysicalMemory() answer `*bytes` instead of asking the system, so that tests can
// play any machine; null goes back to the system's figure.
void overrideAvailablePhysicalMemory(const uint64_t* bytes);

// Test hooks. The next `count` posts of `message` fail, as posts to a full queue do.
void failNextPosts(unsigned message, int count);
// Counts the posts of `message` still waiting in queues (for one thread's queue at a time); from
// now on, mostQueued() is the most that ever waited at once and postsWatched() how many were posted.
void watchQueue(unsigned message);
int mostQueued();
int postsWatched();

// Whether an exception thrown in the library can reach the code that called it. The Windows DLL
// carries its own C++ runtime and its engines are built by another compiler, so nothing outside it
// could catch one: there, every failure is reported in the interface's own terms (null, nothing
// copied, nothing added), and nothing in the DLL throws at all, since throwing with the heap gone
// needs the heap.
#if defined(_WIN32)
const bool kExceptionsReachCallers = false;
#else
const bool kExceptionsReachCallers = true;
#endif

// The C heap, for everything the library allocates: a block that cannot be had is null.
void* allocateMemory(size_t bytes) noexcept;
void freeMemory(void* block) noexcept;
// Doubles the capacity of a C-heap array (to 8 elements at first): returns the new array, holding
// the first `count` elements, and frees the old one; null, and the array as it was, when there is
// no room.
void* growArray(void* array, int count, int* capacity, size_t elementSize) noexcept;

// Memory ran out: throws std::bad_alloc where kExceptionsReachCallers (the caller's C++ code may
// catch it), and otherwise returns, for the caller to report the failure in the interface's terms.
// Whatever was half-done must be undone before.
void outOfMemory() noexcept(!kExceptionsReachCallers);

// A base for the library's objects: they live on the C heap, and where no exception may be thrown
// `new` gives null when the heap has no room (a non-throwing allocation function makes the
// new-expression check for null and skip the constructor). Spelt out, not noexcept(expression):
// GCC checks for null only after an allocation function declared plainly non-throwing.
#if defined(_WIN32)
#define ZORVFRAMEKIT_NEW_GIVES_NULL noexcept
#else
#define ZORVFRAMEKIT_NEW_GIVES_NULL
#endif
struct HeapObject {
    static void* operator new(size_t bytes) ZORVFRAMEKIT_NEW_GIVES_NULL;
    static void operator delete(void* block) noexcept;
};

// A lock that needs nothing to be set up and so cannot fail to be (std::mutex under MinGW's threads
// library makes its lock from the heap on first use). For short sections only: a waiter spins.
class SpinLock {
public:
    void lock() noexcept;
    void unlock() noexcept { locked.store(false, std::memory_order_release); }

private:
    std::atomic<bool> locked{false};
};

class SpinLockGuard {
public:
    explicit SpinLockGuard(SpinLock& lock) : held(lock) { held.lock(); }
    ~SpinLockGuard() { held.unlock(); }

private:
    SpinLockGuard(const SpinLockGuard&);
    SpinLockGuard& operator=(const SpinLockGuard&);
    SpinLock& held;
};

// Test hooks for what can fail for want of resources. From a call of failAttempt on, attempts at the
// site are counted (attemptsAt) and `count` of them fail from the k-th one on (1 is the next); k = 0
// fails none.
enum class FailureSite { Allocation, ThreadStart, ThreadWait };
const int kFailureSiteCount = 3;
void failAttempt(FailureSite site, long k, long count = 1);
long attemptsAt(FailureSite site);
// Whether this attempt at `site` is the one to fail (and counts it).
bool attemptFails(FailureSite site);

// Whether a large block from the heap comes as pages of its own, fresh and zeroed when first
// touched (Windows gives blocks of over half a megabyte their own virtual allocation), rather than
// as memory the heap had before (glibc keeps freed large blocks for the next ones).
#if defined(_WIN32)
const bool kLargeBlocksAreFreshPages = true;
#else
const bool kLargeBlocksAreFreshPages = false;
#endif

// Milliseconds since the system started; wraps to 0 after 2^32 ms.
uint32_t tickCount();

// Wall clock: whole seconds since 1970-01-01 00:00:00 UTC and the milliseconds within that second.
void wallClock(int64_t* seconds, int* milliseconds);

}  // namespace platform
}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_PLATFORM_PLATFORM_H

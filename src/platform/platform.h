// The only window onto the operating system. Everything outside src/platform goes through here:
// threads with a per-thread message queue (the Win32 model), sleeping, available memory and clocks.
#ifndef ZORVFRAMEKIT_PLATFORM_PLATFORM_H
#define ZORVFRAMEKIT_PLATFORM_PLATFORM_H

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

// Waits at most `timeoutMs` for the thread to end; true if it has ended.
bool waitThread(ThreadHandle thread, uint32_t timeoutMs);

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
// could catch one: there, a failure the library can report in its own terms (a buffer the heap
// refuses is a refused buffer) must be reported so.
#if defined(_WIN32)
const bool kExceptionsReachCallers = false;
#else
const bool kExceptionsReachCallers = true;
#endif

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

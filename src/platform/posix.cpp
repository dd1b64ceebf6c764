// Platform layer on POSIX: the Win32 thread model (ids, a message queue per thread that exists once
// the thread first waits for a message) rebuilt on the standard library.
#include "platform.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace zorvframekit {
namespace platform {

namespace {

// The platform's own bookkeeping comes from the library's heap too, so that tests can make it fail;
// a failure here is caught in this file and reported as the operation's failure.
template <typename T>
struct HeapAllocator {
    typedef T value_type;
    HeapAllocator() = default;
    template <typename U>
    HeapAllocator(const HeapAllocator<U>&) {}
    T* allocate(size_t n) {
        void* block = n <= static_cast<size_t>(-1) / sizeof(T) ? allocateMemory(n * sizeof(T)) : nullptr;
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, size_t) { freeMemory(block); }
    template <typename U>
    bool operator==(const HeapAllocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const HeapAllocator<U>&) const {
        return false;
    }
};

struct MessageQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Message, HeapAllocator<Message>> messages;
};

struct ThreadState {
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    std::thread thread;
};
typedef std::shared_ptr<ThreadState> ThreadStateHandle;

std::atomic<ThreadId> nextThreadId{1};

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

typedef std::unordered_map<ThreadId, std::shared_ptr<MessageQueue>, std::hash<ThreadId>, std::equal_to<ThreadId>,
                           HeapAllocator<std::pair<const ThreadId, std::shared_ptr<MessageQueue>>>>
    Registry;

Registry& registry() {
    static Registry queues;
    return queues;
}

ThreadId newThreadId() {
    ThreadId id = nextThreadId.fetch_add(1);
    if (id == 0) id = nextThreadId.fetch_add(1);  // after 2^32 threads; 0 means "no thread"
    return id;
}

// The calling thread's id and queue. The queue leaves the registry when the thread ends, so that
// posts to an ended thread fail as they do on Win32.
struct ThreadIdentity {
    ThreadId id = 0;
    std::shared_ptr<MessageQueue> queue;
    ~ThreadIdentity() {
        if (!queue) return;
        std::lock_guard<std::mutex> lock(registryMutex());
        registry().erase(id);
    }
};

thread_local ThreadIdentity identity;

ThreadId ensureThreadId() {
    if (identity.id == 0) identity.id = newThreadId();
    return identity.id;
}

}  // namespace

ThreadHandle startThread(ThreadMain main, void* argument, ThreadId* id) {
    *id = 0;
    if (attemptFails(FailureSite::ThreadStart)) return nullptr;
    // Everything the thread needs is made before it starts: once it runs, nothing may fail.
    void* room = allocateMemory(sizeof(ThreadStateHandle));
    if (room == nullptr) return nullptr;
    const ThreadId newId = newThreadId();
    try {
        ThreadStateHandle* handle = new (room) ThreadStateHandle(std::allocate_shared<ThreadState>(HeapAllocator<ThreadState>()));
        try {
            ThreadStateHandle state = *handle;
            (*handle)->thread = std::thread([state, main, argument, newId] {
                identity.id = newId;
                main(argument);
                std::lock_guard<std::mutex> lock(state->mutex);
                state->ended = true;
                state->endedSignal.notify_all();
            });
        } catch (...) {
            handle->~ThreadStateHandle();
            throw;
        }
        *id = newId;
        return handle;
    } catch (...) {  // std::bad_alloc or std::system_error: no thread
        freeMemory(room);
        return nullptr;
    }
}

bool systemPostThreadMessage(ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto found = registry().find(id);
        if (found == registry().end()) return false;
        queue = found->second;
    }
    std::lock_guard<std::mutex> lock(queue->mutex);
    try {
        queue->messages.push_back(Message{message, wParam, lParam});
    } catch (const std::bad_alloc&) {
        return false;  // as a post to a full queue fails
    }
    queue->arrived.notify_one();
    return true;
}

void createMessageQueue() {
    if (identity.queue) return;
    const ThreadId id = ensureThreadId();
    try {
        auto queue = std::allocate_shared<MessageQueue>(HeapAllocator<MessageQueue>());
        std::lock_guard<std::mutex> lock(registryMutex());
        registry()[id] = queue;
        identity.queue = queue;
    } catch (const std::bad_alloc&) {
        // No queue: posts to this thread fail, and its wait for a message reports an error.
    }
}

int systemWaitMessage(Message* message) {
    createMessageQueue();
    if (!identity.queue) return -1;
    MessageQueue& queue = *identity.queue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.arrived.wait(lock, [&queue] { return !queue.messages.empty(); });
    *message = queue.messages.front();
    queue.messages.pop_front();
    return message->message == kMessageQuit ? 0 : 1;
}

WaitResult waitForThread(ThreadHandle thread, uint32_t timeoutMs) {
    if (attemptFails(FailureSite::ThreadWait)) return WaitResult::Failed;
    ThreadState& state = **static_cast<ThreadStateHandle*>(thread);
    std::unique_lock<std::mutex> lock(state.mutex);
    const bool ended =
        state.endedSignal.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&state] { return state.ended; });
    return ended ? WaitResult::Ended : WaitResult::TimedOut;
}

void closeThread(ThreadHandle thread) {
    auto* handle = static_cast<ThreadStateHandle*>(thread);
    ThreadState& state = **handle;
    bool ended;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ended = state.ended;
    }
    // An ended thread is joined; one still running goes on by itself, as a Win32 thread does when
    // its last handle is closed.
    if (ended)
        state.thread.join();
    else
        state.thread.detach();
    handle->~ThreadStateHandle();
    freeMemory(handle);
}

ThreadId currentThreadId() { return ensureThreadId(); }

void sleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

uint64_t systemAvailablePhysicalMemory() {
    // MemAvailable counts what can be had without swapping, page cache included: the figure that
    // answers "how much could we allocate now".
    if (FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kilobytes = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, meminfo)) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(meminfo);
        if (found) return static_cast<uint64_t>(kilobytes) * 1024u;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : 0;
}

uint32_t tickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void wallClock(int64_t* seconds, int* milliseconds) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    *seconds = static_cast<int64_t>(now.tv_sec);
    *milliseconds = static_cast<int>(now.tv_nsec / 1000000);
}

}  // namespace platform
}  // namespace zorvframekit

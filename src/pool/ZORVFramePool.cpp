#include "pool/ZORVFramePool.h"

#include <new>

#include "frame/ZORVFrame.h"

namespace zorvframekit {

namespace {

const unsigned kMessageBounds = platform::kMessageUser;     // wParam minFrames, lParam maxFrames
const unsigned kMessageCheck = platform::kMessageUser + 1;  // count the held frames, add or trim
const uint32_t kStopTimeoutMs = 10000;

}  // namespace

std::atomic<ZORVFramePool::MadeFrameHook> ZORVFramePool::madeFrameHook{nullptr};

ZORVFramePool::ZORVFramePool(MemoryLimiter* limiter)
    : workerThread(nullptr),
      workerThreadId(0),
      checkPending(false),
      lowerBound(0),
      upperBound(0),
      current{0, 0, 0},
      memoryLimiter(limiter) {}

ZORVFramePool::~ZORVFramePool() {
    stopWorker(true);
    clearFrames();
}

ZORVFramePool::Format ZORVFramePool::formatOf(IFrame* frame) {
    const int* dimensions = frame->getDimensions();
    return Format{frame->getFrameType(), dimensions[0], dimensions[1]};
}

IFrame* ZORVFramePool::getFrame(FrameTypeCode type, int width, int height) {
    const Format wanted{type, width, height};
    IFrame* frame = nullptr;
    bex::BXAutoCriticalSection guard(framesLock, true);
    if (!frames.empty() && wanted == current) frame = frames.pop();
    notifyWorker();
    guard.leave();
    if (frame != nullptr) {
        if (ZORVFrame* ours = dynamic_cast<ZORVFrame*>(frame)) ours->resetRefCount();
        return frame;
    }

    // A miss builds outside the lock: the held frames and the format stay as they are.
    frame = frameFactory(type, width, height);
    if (frame != nullptr) {
        frame->setOwnerPool(this);
        frame->setMemoryLimiter(memoryLimiter);
    }
    return frame;
}

void ZORVFramePool::returnFrame(IFrame* frame) {
    if (frame == nullptr) return;
    const Format format = formatOf(frame);
    if (!frame->hasData()) {
        deleteFrame(frame);
        return;
    }
    bex::BXAutoCriticalSection guard(framesLock, true);
    // Read under the lock that stopWorker clears the pool under, so that nothing slips in after
    // the clear and stays held by a pool that is no longer pooling.
    if (workerThreadId == 0) {
        guard.leave();
        deleteFrame(frame);
        return;
    }
    // A frame given back twice (two holders releasing it) is held once.
    if (frames.contains(frame)) {
        guard.leave();
        return;
    }
    if (!(format == current)) {
        deleteHeldFrames();
        current = format;
    }
    if (!frames.push(frame)) {
        // The caller has given the frame up: it goes, and its bytes with it, before the failure is
        // reported.
        guard.leave();
        deleteFrame(frame);
        platform::outOfMemory();
        return;
    }
    notifyWorker();
    guard.leave();
}

int ZORVFramePool::getFrameCount() {
    bex::BXAutoCriticalSection guard(framesLock, true);
    const int count = frames.size();
    guard.leave();
    return count;
}

void ZORVFramePool::clearFrames() {
    bex::BXAutoCriticalSection guard(framesLock, true);
    deleteHeldFrames();
    guard.leave();
}

void ZORVFramePool::deleteHeldFrames() {
    while (!frames.empty()) deleteFrame(frames.pop());
}

void ZORVFramePool::notifyWorker() {
    // Posting under framesLock, which the id is written under too, means a post never goes to the
    // id of a worker that has already been told to quit (Windows reuses thread ids). A check that is
    // already queued covers this hand-out or return too: the queue holds at most one, so it never
    // fills (a Win32 queue takes 10 000 posts) and the quit always finds room. A held count within
    // the bounds gives the worker nothing to do, so the steady cycle of an engine (take the held
    // frame, give it back) never wakes it.
    if (workerThreadId == 0 || checkPending || current.type == 0) return;
    const int count = frames.size();
    if (count >= lowerBound && count <= upperBound) return;
    checkPending = platform::postThreadMessage(workerThreadId, kMessageCheck, 0, 0);
}

void ZORVFramePool::setFrameCountLimits(int minFrames, int maxFrames) {
    // A maximum below the minimum would have the worker add and trim for ever.
    if (minFrames < 0) minFrames = 0;
    if (maxFrames < minFrames) maxFrames = minFrames;
    const uintptr_t wParam = static_cast<uintptr_t>(minFrames);
    const intptr_t lParam = maxFrames;

    bex::BXAutoCriticalSection guard(workerLock, true);
    platform::ThreadId id = workerThreadId;
    bool running = id != 0;
    if (running && !postUntilAccepted(id, kMessageBounds, wParam, lParam)) {
        // Its queue failed and it has ended on its own: forget it and start a fresh one.
        bex::BXAutoCriticalSection framesGuard(framesLock, true);
        workerThreadId = 0;
        framesGuard.leave();
        clearFrames();
        running = false;
    }
    if (!running) {
        endWorker(true);  // one that outlived the wait of an earlier stop, or that just failed
        workerThread = platform::startThread(workerMain, this, &id);
        if (workerThread == nullptr) {
            guard.leave();
            return;
        }
        // The id is published only once the bounds are queued, so that they are the worker's
        // first message: a check run with the default bounds could trim frames that are wanted.
        if (!postUntilAccepted(id, kMessageBounds, wParam, lParam)) {
            endWorker(true);
            guard.leave();
            return;
        }
    }
    bex::BXAutoCriticalSection framesGuard(framesLock, true);
    if (!running) workerThreadId = id;
    lowerBound = minFrames;
    upperBound = maxFrames;
    // A check queued before the new bounds would run with the old ones: one more goes behind them.
    checkPending = false;
    notifyWorker();
    framesGuard.leave();
    guard.leave();
}

bool ZORVFramePool::postUntilAccepted(platform::ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam) {
    // A new thread has no queue until it first waits for a message.
    while (!platform::postThreadMessage(id, message, wParam, lParam)) {
        // Ended (or past asking): nobody will read that queue.
        if (platform::waitForThread(workerThread, 0) != platform::WaitResult::TimedOut) return false;
        platform::sleepMs(1);
    }
    return true;
}

void ZORVFramePool::stopWorker() { stopWorker(false); }

void ZORVFramePool::stopWorker(bool untilEnded) {
    bex::BXAutoCriticalSection guard(workerLock, true);
    bex::BXAutoCriticalSection framesGuard(framesLock, true);
    const platform::ThreadId id = workerThreadId;
    workerThreadId = 0;
    checkPending = false;
    framesGuard.leave();
    // Outside framesLock, which a worker draining a full queue may need. A quit that is not taken
    // would leave the worker waiting for ever, and the wait below with it: it is posted until the
    // queue takes it, or the worker has ended on its own.
    if (id != 0) postUntilAccepted(id, platform::kMessageQuit, 0, 0);
    // The worker never needs workerLock and framesLock is free, so it finishes at once: it sees
    // that it is no longer the worker, deletes what it was making, and takes the quit.
    endWorker(untilEnded);
    clearFrames();
    guard.leave();
}

void ZORVFramePool::endWorker(bool untilEnded) {
    if (workerThread == nullptr) return;
    platform::WaitResult result = platform::waitForThread(workerThread, kStopTimeoutMs);
    while (result == platform::WaitResult::TimedOut && untilEnded)
        result = platform::waitForThread(workerThread, kStopTimeoutMs);
    // Kept, so that a later start or the destructor waits for it. A wait that failed would fail
    // again at once (asking again would only spin): its handle is given up, as for an ended one.
    if (result == platform::WaitResult::TimedOut) return;
    platform::closeThread(workerThread);
    workerThread = nullptr;
}

void ZORVFramePool::destroy() { delete this; }

#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
void* ZORVFramePool::scalarDeletingDestructor(unsigned int flags) { return scalarDelete(this, flags); }
#endif

unsigned ZORVFramePool::workerMain(void* pool) {
    static_cast<ZORVFramePool*>(pool)->runWorker();
    return 0;
}

void ZORVFramePool::runWorker() {
    const platform::ThreadId self = platform::currentThreadId();
    int minFrames = 2;
    int maxFrames = 4;
    platform::Message message;
    while (platform::waitMessage(&message) > 0) {
        if (message.message == kMessageBounds) {
            minFrames = static_cast<int>(message.wParam);
            maxFrames = static_cast<int>(message.lParam);
        } else if (message.message == kMessageCheck) {
            bex::BXAutoCriticalSection guard(framesLock, true);
            checkPending = false;  // from here on, a change is the next check's to see
            guard.leave();
            checkFrameCount(self, minFrames, maxFrames);
        }
    }
}

void ZORVFramePool::checkFrameCount(platform::ThreadId self, int minFrames, int maxFrames) {
    bex::BXAutoCriticalSection guard(framesLock, true);
    const bool hasFormat = current.type != 0;
    const int count = frames.size();
    guard.leave();
    if (!hasFormat) return;
    if (count < minFrames)
        addFrames(self, minFrames - count);
    else if (count > maxFrames)
        trimFrames(count - maxFrames);
}

void ZORVFramePool::addFrames(platform::ThreadId self, int count) {
    for (int i = 0; i < count; ++i) {
        bex::BXAutoCriticalSection guard(framesLock, true);
        const Format format = current;
        const bool stopping = workerThreadId != self;
        guard.leave();
        if (stopping || format.type == 0) return;

        // A thread of its own has no caller to hand an allocation failure to: it counts as a
        // refusal, like a limit that is reached, and the next check tries again.
        IFrame* frame = nullptr;
        try {
            frame = frameFactory(format.type, format.width, format.height);
            if (frame != nullptr) {
                frame->setOwnerPool(this);
                frame->setMemoryLimiter(memoryLimiter);
                if (frame->getData() == nullptr) {
                    deleteFrame(frame);
                    frame = nullptr;
                }
            }
        } catch (const std::bad_alloc&) {
            deleteFrame(frame);
            frame = nullptr;
        }
        if (frame == nullptr) return;
        if (MadeFrameHook hook = madeFrameHook.load()) hook(this, frame);
        if (!keepMadeFrame(self, frame, format)) return;
    }
}

bool ZORVFramePool::keepMadeFrame(platform::ThreadId self, IFrame* frame, const Format& madeFormat) {
    bex::BXAutoCriticalSection guard(framesLock, true);
    // A frame of a format that has since been replaced must not bring it back, and a pool that is
    // being stopped keeps nothing.
    if (workerThreadId != self || !(madeFormat == current)) {
        guard.leave();
        deleteFrame(frame);
        return false;
    }
    if (!frames.push(frame)) {
        // Like a refused buffer: nobody on this thread could take the failure.
        guard.leave();
        deleteFrame(frame);
        return false;
    }
    // Returns made while this frame was being built may have taken the count past the maximum
    // without asking for a check (they landed inside the bounds): this addition asks for one.
    if (frames.size() > upperBound) notifyWorker();
    guard.leave();
    return true;
}

void ZORVFramePool::trimFrames(int count) {
    bex::BXAutoCriticalSection guard(framesLock, true);
    for (int i = 0; i < count && !frames.empty(); ++i) deleteFrame(frames.pop());
    guard.leave();
}

}  // namespace zorvframekit

using zorvframekit::ZORVFramePool;

extern "C" FramePool* createFramePool(zorvframekit::MemoryLimiter* limiter) { return new ZORVFramePool(limiter); }

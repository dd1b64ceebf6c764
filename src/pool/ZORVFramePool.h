// Recycles frames of one format (type code, width, height) so that the engine need not build a
// frame and allocate its buffer for every image. Reuse is last in, first out: the frame that came
// back last goes out first. While pooling is on, a worker thread keeps the number of held frames
// between a minimum and a maximum: it makes frames with their buffers already allocated, and trims
// the ones that came back last. The worker is driven only by messages on its thread queue.
#ifndef ZORVFRAMEKIT_POOL_ZORVFRAMEPOOL_H
#define ZORVFRAMEKIT_POOL_ZORVFRAMEPOOL_H

#include <atomic>

#include "bexcore.h"
#include "platform/platform.h"
#include "pool/HeldFrames.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

class ZORVFramePool final : public FramePool, public platform::HeapObject {
public:
    explicit ZORVFramePool(MemoryLimiter* limiter);
    // Stops the worker and waits for it to end, however long that takes, before anything it might
    // touch goes away; then deletes every held frame.
    virtual ~ZORVFramePool();

    IFrame* getFrame(FrameTypeCode type, int width, int height) override;
    void returnFrame(IFrame* frame) override;
    int getFrameCount() override;
    void clearFrames() override;
    void setFrameCountLimits(int minFrames, int maxFrames) override;
    void stopWorker() override;
    void destroy() override;
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    void* ZORVFRAMEKIT_THISCALL scalarDeletingDestructor(unsigned int flags) override;
#endif

    // Test hook: called on the worker's thread with each frame it has made, just before it keeps it.
    typedef void (*MadeFrameHook)(ZORVFramePool* pool, IFrame* frame);
    static void setMadeFrameHook(MadeFrameHook hook) { madeFrameHook.store(hook); }

private:
    static std::atomic<MadeFrameHook> madeFrameHook;

    ZORVFramePool(const ZORVFramePool&);
    ZORVFramePool& operator=(const ZORVFramePool&);

    struct Format {
        FrameTypeCode type;
        int width;
        int height;
        bool operator==(const Format& other) const {
            return type == other.type && width == other.width && height == other.height;
        }
    };
    static Format formatOf(IFrame* frame);

    // With framesLock held.
    void notifyWorker();
    void deleteHeldFrames();

    void stopWorker(bool untilEnded);
    // Waits for a worker that was told to quit; closes its handle once it has ended.
    void endWorker(bool untilEnded);
    bool postUntilAccepted(platform::ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam);

    // The worker thread.
    static unsigned workerMain(void* pool);
    void runWorker();
    void checkFrameCount(platform::ThreadId self, int minFrames, int maxFrames);
    void addFrames(platform::ThreadId self, int count);
    bool keepMadeFrame(platform::ThreadId self, IFrame* frame, const Format& madeFormat);
    void trimFrames(int count);

    // Guarded by workerLock. Stays set after a stop whose wait timed out, so that the next start
    // and the destructor still wait for that worker.
    platform::ThreadHandle workerThread;
    // 0 while no worker runs. Written with both locks held, so holding either one is enough to read
    // it: the worker and the engine's threads read it under framesLock and never need workerLock.
    platform::ThreadId workerThreadId;
    bool checkPending;          // guarded by framesLock: a check waits in the worker's queue
    int lowerBound, upperBound;  // guarded by framesLock: the bounds last sent to the worker
    HeldFrames frames;          // top: the frame that came back last
    Format current;             // type 0: no frame has come back yet
    bex::BXCriticalSection framesLock;  // frames, current, posting to the worker
    bex::BXCriticalSection workerLock;  // starting and stopping the worker; workerThread
    MemoryLimiter* memoryLimiter;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_POOL_ZORVFRAMEPOOL_H

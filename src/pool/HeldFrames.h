// The frames a pool holds, the one that came back last on top. One array on the C heap, grown
// when full, so that keeping a frame fails only when that array cannot grow.
#ifndef ZORVFRAMEKIT_POOL_HELDFRAMES_H
#define ZORVFRAMEKIT_POOL_HELDFRAMES_H

#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

class HeldFrames {
public:
    HeldFrames() : frames(nullptr), count(0), capacity(0) {}
    ~HeldFrames() { platform::freeMemory(frames); }

    bool empty() const { return count == 0; }
    int size() const { return count; }
    bool contains(const IFrame* frame) const {
        for (int i = 0; i < count; ++i)
            if (frames[i] == frame) return true;
        return false;
    }
    // False, and nothing held, when there was no room for it.
    bool push(IFrame* frame) {
        if (count == capacity) {
            void* larger = platform::growArray(frames, count, &capacity, sizeof *frames);
            if (larger == nullptr) return false;
            frames = static_cast<IFrame**>(larger);
        }
        frames[count++] = frame;
        return true;
    }
    IFrame* top() const { return frames[count - 1]; }
    IFrame* pop() { return frames[--count]; }

private:
    HeldFrames(const HeldFrames&);
    HeldFrames& operator=(const HeldFrames&);
    IFrame** frames;
    int count;
    int capacity;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_POOL_HELDFRAMES_H

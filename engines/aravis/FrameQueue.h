// The frames a stream thread hands to its consumer, oldest first, at most `capacity` of them: a
// camera does not wait, so a frame that finds the queue full is not queued (its sender lets it
// go). Once closed the queue takes nothing more, and what it still holds can be taken at once.
#ifndef ARAVISENGINE_FRAMEQUEUE_H
#define ARAVISENGINE_FRAMEQUEUE_H

#include <condition_variable>
#include <deque>
#include <mutex>

#include <zorvframekit/zorvframekit.h>

namespace aravisengine {

class FrameQueue {
public:
    explicit FrameQueue(int capacity);
    ~FrameQueue();  // releases what is still queued
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // False (the frame stays the caller's) when full or closed.
    bool tryPush(IFrame* frame);
    // The oldest frame, now the caller's; null when none came within timeoutMs, or at once when
    // closed and empty.
    IFrame* pop(int timeoutMs);
    void close();
    // Releases every queued frame; returns how many.
    int clear();

private:
    const size_t capacity;
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<IFrame*> frames;
    bool closed = false;
};

// Gives a frame back to its pool. A pool that cannot hold it deletes it before it reports that it
// ran out of memory; the frame is gone either way, which is all a stream thread needs.
void giveUp(IFrame* frame) noexcept;

}  // namespace aravisengine

#endif  // ARAVISENGINE_FRAMEQUEUE_H

#include "FrameQueue.h"

#include <chrono>
#include <new>

namespace aravisengine {

void giveUp(IFrame* frame) noexcept {
    if (frame == nullptr) return;
    try {
        frame->release();
    } catch (const std::bad_alloc&) {
    }
}

FrameQueue::FrameQueue(int capacity) : capacity(capacity < 1 ? 1 : size_t(capacity)) {}

FrameQueue::~FrameQueue() { clear(); }

bool FrameQueue::tryPush(IFrame* frame) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closed || frames.size() >= capacity) return false;
        frames.push_back(frame);
    }
    arrived.notify_one();
    return true;
}

IFrame* FrameQueue::pop(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock);
    arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                     [this] { return !frames.empty() || closed; });
    if (frames.empty()) return nullptr;
    IFrame* frame = frames.front();
    frames.pop_front();
    return frame;
}

void FrameQueue::close() {
    {
        std::lock_guard<std::mutex> guard(lock);
        closed = true;
    }
    arrived.notify_all();
}

int FrameQueue::clear() {
    std::deque<IFrame*> taken;
    {
        std::lock_guard<std::mutex> guard(lock);
        taken.swap(frames);
    }
    for (IFrame* frame : taken) giveUp(frame);
    return int(taken.size());
}

}  // namespace aravisengine

// A GenICam camera (GigE Vision or USB3 Vision, through Aravis) streaming into pooled frames.
//
// Its stream thread takes each image Aravis has received, copies it into a frame from a FramePool
// (whose worker keeps frames ready under the caller's MemoryLimiter), stamps the time of arrival,
// attaches the camera's metadata, gives the device buffer straight back to Aravis, and queues the
// frame for the consumer, who takes it with next() on a thread of its own and releases it when done.
// Nothing waits for the consumer: a frame that finds the queue full, or gets no buffer within the
// limit, is released at once and counted as dropped.
#ifndef ARAVISENGINE_CAMERASTREAM_H
#define ARAVISENGINE_CAMERASTREAM_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include <zorvframekit/zorvframekit.h>

#include "EngineError.h"
#include "FrameQueue.h"
#include "PixelFormatMap.h"

struct _ArvBuffer;
struct _ArvCamera;
struct _ArvStream;

namespace aravisengine {

// The metadata of every frame. Times are in seconds, as the frame's own.
namespace metadata {
const char* const kFrameId = "frameId";                    // the camera's id of the image
const char* const kMissedBefore = "framesMissedBefore";    // frames not delivered since the last one that was
const char* const kCameraTimestamp = "cameraTimestamp";    // the camera's clock when it took the image
const char* const kExposure = "exposure";
const char* const kGain = "gain";                          // in the camera's units (0 if it has none)
const char* const kVendor = "vendor";
const char* const kModel = "model";
const char* const kSerial = "serial";
const char* const kPixelFormat = "pixelFormat";            // GenICam's name
const char* const kBayerPattern = "bayerPattern";          // Bayer mosaics only: "RG", "GB", "GR" or "BG"
}  // namespace metadata

struct StreamSettings {
    std::string camera;            // a device id, serial or address (as listCameras gives); empty: the first found
    std::string pixelFormat;       // a GenICam name; empty: the camera's own
    int width = 0, height = 0;     // the region's size; 0: the camera's own region
    int offsetX = 0, offsetY = 0;  // the region's top-left corner on the sensor, with a size
    double frameRate = 0;          // frames a second; 0: the camera's own
    double exposureTime = 0;       // microseconds; 0: the camera's own
    int queueLength = 4;           // frames waiting for the consumer
    int minFrames = 2, maxFrames = 4;  // frames the pool keeps ready
    int deviceBuffers = 8;         // buffers Aravis fills while the stream thread copies
};

// The camera as configured.
struct CameraDescription {
    std::string vendor, model, serial;
    const PixelFormatMapping* format = nullptr;
    int width = 0, height = 0, offsetX = 0, offsetY = 0;
    double frameRate = 0, maxFrameRate = 0;  // 0 for a camera without a frame rate
    double exposureTime = 0;                 // microseconds; 0 for a camera without one
    double gain = 0;
};

struct StreamStatistics {
    uint64_t received = 0;          // images that arrived, whole or not
    uint64_t delivered = 0;         // frames queued for the consumer
    uint64_t droppedQueueFull = 0;  // the consumer was behind
    uint64_t droppedNoMemory = 0;   // the memory limiter (or the heap) refused the frame's buffer
    uint64_t incomplete = 0;        // arrived with packets missing, after a later one, or not the image configured
    uint64_t repeated = 0;          // arrived again, after it had arrived: not an image missed
    uint64_t lost = 0;              // ids the camera used whose images never arrived
    int limiterPeak = 0;            // the most bytes the limiter held, read after each frame's copy
    uint64_t dropped() const { return droppedQueueFull + droppedNoMemory; }
    uint64_t missed() const { return dropped() + incomplete + lost; }
};

// Images the camera took between two ids it gave one after the other. GigE Vision's ids are 16
// bits and skip 0 when they wrap (65535 is followed by 1); wider ones do not wrap. An id behind the
// one before (a late image, or the same again) counts as none: for 16-bit ids, that is the half of
// the ring behind it, where an image sent before the wrap lies, though its number is larger.
uint64_t frameIdGap(uint64_t previous, uint64_t next);
bool frameIdFollows(uint64_t previous, uint64_t next);

// The stream thread's account of the ids that arrive: each follows the last (the ids between them
// lost), or is late (it was counted lost), or has come again (Aravis can hand an image back twice,
// whole and then timed out). The last 64 ids are remembered; one further back is taken as late.
class FrameIdBooks {
public:
    struct Arrival {
        bool follows;
        uint64_t skipped;  // when it follows: the ids between the last and it, now lost
        bool again;        // when it does not follow: it had arrived already
    };
    Arrival arrive(uint64_t id);

private:
    bool any = false;
    uint64_t last = 0;
    uint64_t lostBehind = 0;  // bit k: the id k + 1 before the last is counted lost
};

class CameraStream {
public:
    // Opens and configures the camera; throws EngineError, naming what it refused. The limiter
    // must outlive the stream.
    CameraStream(const StreamSettings& settings, zorvframekit::MemoryLimiter& limiter);
    // Stops. Every frame taken from next() must have been released before: they belong to the pool.
    ~CameraStream();
    CameraStream(const CameraStream&) = delete;
    CameraStream& operator=(const CameraStream&) = delete;

    const CameraDescription& camera() const { return description; }
    void start();  // throws EngineError if the camera will not start
    // Acquisition ends; frames already queued can still be taken.
    void stop();
    // The oldest queued frame, now the caller's to release; null when none came within timeoutMs,
    // or at once once the stream has stopped (or ended, see failure) and the queue is empty.
    IFrame* next(int timeoutMs);
    StreamStatistics statistics() const;
    // Why the stream ended by itself (the camera stopped answering); empty while it has not.
    std::string failure() const;
    int heldFrames() { return pool->getFrameCount(); }

private:
    void configure(const StreamSettings& settings);
    void run();
    void take(_ArvBuffer* buffer, double arrival);
    void deliver(IFrame* frame, _ArvBuffer* buffer, double arrival);
    void releaseAll();
    static void onControlLost(void* device, void* self);

    zorvframekit::MemoryLimiter& limiter;
    FramePool* pool = nullptr;
    _ArvCamera* device = nullptr;
    _ArvStream* stream = nullptr;
    unsigned long controlLostHandler = 0;
    CameraDescription description;
    FrameQueue queue;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> controlLost{false};
    bool started = false;

    // Written by the stream thread only; read by anyone.
    std::atomic<uint64_t> received{0}, delivered{0}, droppedQueueFull{0}, droppedNoMemory{0}, incomplete{0}, repeated{0}, lost{0};
    std::atomic<int> limiterPeak{0};
    // The stream thread's own.
    FrameIdBooks ids;
    uint64_t missedSinceDelivery = 0;
};

}  // namespace aravisengine

#endif  // ARAVISENGINE_CAMERASTREAM_H

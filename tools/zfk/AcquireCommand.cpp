// zfk acquire: frames from a GenICam camera through the Aravis engine. The engine's stream thread
// fills pooled frames; this thread, its consumer, converts each (the frame's bitmap for .bmp and
// .png, its native host array for .npy), writes it whole, and lets it go.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "CameraStream.h"
#include "Commands.h"
#include "Discovery.h"
#include "ImageFiles.h"
#include "Simulator.h"
#include "ha.h"

namespace zfk {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<uint8_t> fileBytes(IFrame* frame, const std::string& to) {
    if (to == "npy") {
        std::unique_ptr<HostArrayData, void (*)(void*)> array(frame->getNativeHostArray(), haFree);
        if (!array) fail("a frame could not be had as an array (out of memory?)");
        return npyFileBytes(array.get());
    }
    Bitmap bitmap;
    bitmap.pixels.resize(static_cast<size_t>(frame->getBitmapSize()));
    frame->fillBitmap(&bitmap.header, bitmap.pixels.data());
    return to == "bmp" ? bmpFileBytes(bitmap) : pngFileBytes(decodeBitmap(bitmap));
}

std::string megabytes(int bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

// Checked before any camera is asked.
void checkOptions(const AcquireOptions& options) {
    if (options.fake && !options.camera.empty()) fail("--camera goes without --fake (the simulator is the camera)");
    if (options.countGiven && options.secondsGiven) fail("give --count or --seconds, not both");
    if (options.offsetGiven && !options.sized) fail("--offset goes with --size");
    if (options.to != "bmp" && options.to != "png" && options.to != "npy")
        fail("bad --to '" + options.to + "': expected bmp, png or npy");
    if (options.toGiven && options.outDir.empty()) fail("--to goes with --out-dir");
    if (options.sized && options.to == "png" && !options.outDir.empty() && !pngFits(options.size.width, options.size.height))
        fail("a " + options.size.text + " picture is too large for PNG here; write bmp or npy");
    if (!options.outDir.empty()) {
        std::error_code made;
        std::filesystem::create_directories(options.outDir, made);
        if (made || !std::filesystem::is_directory(options.outDir)) fail("cannot make the output folder " + options.outDir);
    }
}

}  // namespace

int runAcquire(const AcquireOptions& options, const Console& console) {
    checkOptions(options);
    // Gone in the reverse order: the stream before the camera it talks to, Aravis itself last.
    struct DeviceStack {
        ~DeviceStack() { aravisengine::shutDownDeviceStack(); }
    } stack;
    std::unique_ptr<aravisengine::Simulator> simulator;
    zorvframekit::MemoryLimiter limiter;  // its cap follows the memory the machine has free
    std::unique_ptr<aravisengine::CameraStream> stream;
    try {
        if (options.fake) simulator = std::make_unique<aravisengine::Simulator>();
        aravisengine::StreamSettings settings;
        settings.camera = options.fake ? aravisengine::Simulator::address() : options.camera;
        settings.pixelFormat = options.format;
        if (options.sized) {
            settings.width = options.size.width;
            settings.height = options.size.height;
            settings.offsetX = options.offsetX;
            settings.offsetY = options.offsetY;
        }
        settings.frameRate = options.rate;
        settings.exposureTime = options.exposure;
        stream = std::make_unique<aravisengine::CameraStream>(settings, limiter);
        stream->start();
    } catch (const aravisengine::EngineError& error) {
        fail(error.what());
    }
    const aravisengine::CameraDescription& camera = stream->camera();
    if (!options.outDir.empty() && options.to == "png" && !pngFits(camera.width, camera.height))
        fail("the camera's " + std::to_string(camera.width) + "x" + std::to_string(camera.height) +
             " pictures are too large for PNG here; write bmp or npy");
    std::fprintf(console.out, "%s %s (%s): %s %dx%d at %d,%d, %.4g frames/s\n", camera.vendor.c_str(), camera.model.c_str(),
                 camera.serial.c_str(), camera.format->name, camera.width, camera.height, camera.offsetX, camera.offsetY,
                 camera.frameRate);

    // A camera that sends nothing for three frame periods (and at least 5 s) is not coming back.
    const double patience = std::max(5.0, camera.frameRate > 0 ? 3 / camera.frameRate : 0);
    const bool progress = isatty(fileno(console.err));
    const Clock::time_point begin = Clock::now();
    Clock::time_point lastFrame = begin, lastProgress = begin;
    long long written = 0;
    double latencySum = 0, latencyWorst = 0;
    for (;;) {
        if (options.secondsGiven ? secondsSince(begin) >= options.seconds : written >= options.count) break;
        std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(stream->next(100));
        if (!frame) {
            if (!stream->failure().empty()) fail(stream->failure());
            if (secondsSince(lastFrame) > patience)
                fail("no frame from the camera for " + std::to_string(int(patience)) + " s");
            continue;
        }
        lastFrame = Clock::now();
        if (!options.outDir.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06lld.", written + 1);
            const std::string path = (std::filesystem::path(options.outDir) / (name + options.to)).string();
            std::string error;
            if (!writeFileWhole(path, fileBytes(frame.get(), options.to), error)) fail(error);
        }
        const double latency = getTimestamp() - frame->getTime();
        latencySum += latency;
        latencyWorst = std::max(latencyWorst, latency);
        ++written;
        frame.reset();
        if (progress && secondsSince(lastProgress) >= 0.25) {
            lastProgress = Clock::now();
            std::fprintf(console.err, "\r%lld frames, %.1f frames/s, %llu dropped ", written, written / secondsSince(begin),
                         static_cast<unsigned long long>(stream->statistics().dropped()));
        }
    }
    const double elapsed = secondsSince(begin);
    stream->stop();
    if (progress) std::fprintf(console.err, "\n");

    const aravisengine::StreamStatistics figures = stream->statistics();
    std::fprintf(console.out, "%lld frames in %.2f s (%.1f frames/s)", written, elapsed, elapsed > 0 ? written / elapsed : 0.0);
    if (!options.outDir.empty()) std::fprintf(console.out, ", written to %s as .%s", options.outDir.c_str(), options.to.c_str());
    std::fprintf(console.out,
                 "\nreceived %llu, dropped %llu (consumer behind %llu, no memory %llu), incomplete %llu, repeated %llu, lost %llu\n",
                 static_cast<unsigned long long>(figures.received), static_cast<unsigned long long>(figures.dropped()),
                 static_cast<unsigned long long>(figures.droppedQueueFull), static_cast<unsigned long long>(figures.droppedNoMemory),
                 static_cast<unsigned long long>(figures.incomplete), static_cast<unsigned long long>(figures.repeated),
                 static_cast<unsigned long long>(figures.lost));
    std::fprintf(console.out, "latency from arrival to %s: mean %.1f ms, worst %.0f ms\n",
                 options.outDir.empty() ? "taken" : "written", written > 0 ? 1000 * latencySum / written : 0.0,
                 1000 * latencyWorst);
    std::fprintf(console.out, "memory limiter: peak %s of %s\n", megabytes(figures.limiterPeak).c_str(),
                 megabytes(limiter.getMemoryLimit()).c_str());
    return 0;
}

}  // namespace zfk

#include "CameraStream.h"

#include <arv.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace aravisengine {

namespace {

// How long the stream thread waits for an image before it looks whether it should stop.
const guint64 kPopTimeoutMicroseconds = 50000;

std::string text(const char* value) { return value != nullptr ? value : ""; }

// The error's message, and the error freed.
std::string messageOf(GError*& error) {
    std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return message;
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string region(int width, int height, int x, int y) {
    return std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(x) + "," + std::to_string(y);
}

std::vector<std::string> offeredFormats(ArvCamera* camera) {
    std::vector<std::string> names;
    guint count = 0;
    const char** offered = arv_camera_dup_available_pixel_formats_as_strings(camera, &count, nullptr);
    for (guint i = 0; offered != nullptr && i < count; ++i) names.push_back(text(offered[i]));
    g_free(offered);
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
    return all.empty() ? "none" : all;
}

void raisePeak(std::atomic<int>& peak, int value) {
    int seen = peak.load(std::memory_order_relaxed);
    while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

uint64_t ringDistance(uint64_t previous, uint64_t next) { return (next + 0xFFFF - previous) % 0xFFFF; }

// How many ids on from `previous` `next` lies, on the ring or plainly.
uint64_t idDistance(uint64_t previous, uint64_t next) {
    return previous > 0xFFFF || next > 0xFFFF ? next - previous : ringDistance(previous, next);
}

}  // namespace

bool frameIdFollows(uint64_t previous, uint64_t next) {
    if (previous > 0xFFFF || next > 0xFFFF) return next > previous;
    // 16-bit ids go round a ring of 65535 (0 is never one): the half of the ring ahead follows, the
    // half behind is late. An image still arriving from before the wrap is far ahead in plain numbers.
    return next != 0 && ringDistance(previous, next) - 1 < 0x7FFF;
}

uint64_t frameIdGap(uint64_t previous, uint64_t next) { return frameIdFollows(previous, next) ? idDistance(previous, next) - 1 : 0; }

FrameIdBooks::Arrival FrameIdBooks::arrive(uint64_t id) {
    if (!any) {
        any = true;
        last = id;
        return {true, 0, false};
    }
    if (!frameIdFollows(last, id)) {
        const uint64_t behind = idDistance(id, last);
        if (behind > 64 || id == 0) return {false, 0, false};
        const uint64_t bit = behind == 0 ? 0 : uint64_t(1) << (behind - 1);
        const bool wasLost = (lostBehind & bit) != 0;
        lostBehind &= ~bit;
        return {false, 0, !wasLost};
    }
    const uint64_t skipped = idDistance(last, id) - 1;
    lostBehind = skipped >= 63 ? 0 : lostBehind << (skipped + 1);
    lostBehind |= skipped >= 64 ? ~uint64_t(0) : (uint64_t(1) << skipped) - 1;
    last = id;
    return {true, skipped, false};
}

CameraStream::CameraStream(const StreamSettings& settings, zorvframekit::MemoryLimiter& limiter)
    : limiter(limiter), queue(settings.queueLength) {
    try {
        pool = createFramePool(&limiter);
        GError* error = nullptr;
        device = arv_camera_new(settings.camera.empty() ? nullptr : settings.camera.c_str(), &error);
        if (device == nullptr) {
            const std::string why = messageOf(error);
            throw EngineError(settings.camera.empty() ? "no camera found (" + why + ")"
                                                      : "cannot open camera '" + settings.camera + "': " + why);
        }
        configure(settings);

        // Large packets where the path takes them: far fewer of them to a frame (a failed probe
        // keeps the packet size the camera has).
        if (arv_camera_is_gv_device(device)) arv_camera_gv_auto_packet_size(device, nullptr);
        stream = arv_camera_create_stream(device, nullptr, nullptr, &error);
        if (stream == nullptr) throw EngineError("cannot open the camera's stream: " + messageOf(error));
        const guint payload = arv_camera_get_payload(device, &error);
        if (error != nullptr) throw EngineError("cannot read the camera's payload size: " + messageOf(error));
        for (int i = 0; i < std::max(settings.deviceBuffers, 2); ++i) arv_stream_push_buffer(stream, arv_buffer_new(payload, nullptr));

        controlLostHandler = g_signal_connect(arv_camera_get_device(device), "control-lost",
                                              G_CALLBACK(&CameraStream::onControlLost), this);
        pool->setFrameCountLimits(settings.minFrames, settings.maxFrames);
    } catch (...) {
        releaseAll();
        throw;
    }
}

CameraStream::~CameraStream() {
    stop();
    releaseAll();
}

void CameraStream::releaseAll() {
    queue.clear();
    if (controlLostHandler != 0) g_signal_handler_disconnect(arv_camera_get_device(device), controlLostHandler);
    controlLostHandler = 0;
    if (stream != nullptr) g_object_unref(stream);  // ends Aravis's receiving thread, frees its buffers
    stream = nullptr;
    if (device != nullptr) g_object_unref(device);
    device = nullptr;
    if (pool != nullptr) pool->destroy();
    pool = nullptr;
}

void CameraStream::configure(const StreamSettings& settings) {
    GError* error = nullptr;
    ArvCamera* camera = device;
    description.vendor = text(arv_camera_get_vendor_name(camera, nullptr));
    description.model = text(arv_camera_get_model_name(camera, nullptr));
    description.serial = text(arv_camera_get_device_serial_number(camera, nullptr));
    const std::string who = description.vendor + " " + description.model + " (" + description.serial + ")";

    if (!settings.pixelFormat.empty()) {
        const PixelFormatMapping* wanted = findPixelFormat(settings.pixelFormat);
        if (wanted == nullptr)
            throw EngineError("pixel format '" + settings.pixelFormat + "' has no frame type of the same layout (" +
                              mappedFormatNames() + " have)");
        const std::vector<std::string> offered = offeredFormats(camera);
        if (std::find(offered.begin(), offered.end(), wanted->name) == offered.end())
            throw EngineError(who + " does not offer " + wanted->name + " (it offers " + joined(offered) + ")");
        arv_camera_set_pixel_format(camera, wanted->pixelFormat, &error);
        if (error != nullptr) throw EngineError(who + " refuses " + wanted->name + ": " + messageOf(error));
    }
    const ArvPixelFormat current = arv_camera_get_pixel_format(camera, &error);
    if (error != nullptr) throw EngineError("cannot read the pixel format of " + who + ": " + messageOf(error));
    description.format = findPixelFormat(current);
    if (description.format == nullptr) {
        const char* name = arv_camera_get_pixel_format_as_string(camera, nullptr);
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", unsigned(current));
        throw EngineError(who + " sends " + (name != nullptr ? std::string(name) + " (" + code + ")" : std::string(code)) +
                          ", which no frame type holds as it is; choose one of " + mappedFormatNames());
    }

    if (settings.width != 0 || settings.height != 0) {
        if (settings.width <= 0 || settings.height <= 0 || settings.offsetX < 0 || settings.offsetY < 0)
            throw EngineError("a region needs a positive width and height and offsets of 0 or more");
        int sensorWidth = 0, sensorHeight = 0;
        arv_camera_get_sensor_size(camera, &sensorWidth, &sensorHeight, nullptr);
        const std::string asked = region(settings.width, settings.height, settings.offsetX, settings.offsetY);
        if (sensorWidth > 0 && sensorHeight > 0 &&
            (int64_t(settings.offsetX) + settings.width > sensorWidth || int64_t(settings.offsetY) + settings.height > sensorHeight))
            throw EngineError("a region of " + asked + " does not fit the " + std::to_string(sensorWidth) + "x" +
                              std::to_string(sensorHeight) + " sensor of " + who);
        arv_camera_set_region(camera, settings.offsetX, settings.offsetY, settings.width, settings.height, &error);
        if (error != nullptr) throw EngineError(who + " refuses a region of " + asked + ": " + messageOf(error));
    }
    arv_camera_get_region(camera, &description.offsetX, &description.offsetY, &description.width, &description.height, &error);
    if (error != nullptr) throw EngineError("cannot read the region of " + who + ": " + messageOf(error));
    if (settings.width > 0 && (description.width != settings.width || description.height != settings.height ||
                               description.offsetX != settings.offsetX || description.offsetY != settings.offsetY))
        throw EngineError(who + " made a region of " + region(settings.width, settings.height, settings.offsetX, settings.offsetY) +
                          " into " + region(description.width, description.height, description.offsetX, description.offsetY) +
                          " (width in steps of " + std::to_string(arv_camera_get_width_increment(camera, nullptr)) +
                          ", height in steps of " + std::to_string(arv_camera_get_height_increment(camera, nullptr)) + ")");
    if (description.width <= 0 || description.height <= 0 || description.width % description.format->groupWidth != 0)
        throw EngineError(std::string(description.format->name) + " images are made of groups of " +
                          std::to_string(description.format->groupWidth) + " pixels: a width of " +
                          std::to_string(description.width) + " does not divide into them");

    arv_camera_set_acquisition_mode(camera, ARV_ACQUISITION_MODE_CONTINUOUS, nullptr);
    if (arv_camera_is_frame_rate_available(camera, nullptr)) {
        double low = 0, high = 0;
        arv_camera_get_frame_rate_bounds(camera, &low, &high, nullptr);
        if (settings.frameRate > 0) {
            if (settings.frameRate < low || settings.frameRate > high)
                throw EngineError("a rate of " + number(settings.frameRate) + " frames/s is outside the " + number(low) +
                                  " to " + number(high) + " of " + who);
            arv_camera_set_frame_rate(camera, settings.frameRate, &error);
            if (error != nullptr) throw EngineError(who + " refuses a rate of " + number(settings.frameRate) + ": " + messageOf(error));
        }
        description.frameRate = arv_camera_get_frame_rate(camera, nullptr);
        description.maxFrameRate = high;
    } else if (settings.frameRate > 0) {
        throw EngineError(who + " has no frame rate to set");
    }
    if (arv_camera_is_exposure_time_available(camera, nullptr)) {
        if (settings.exposureTime > 0) {
            double low = 0, high = 0;
            arv_camera_get_exposure_time_bounds(camera, &low, &high, nullptr);
            if (settings.exposureTime < low || settings.exposureTime > high)
                throw EngineError("an exposure of " + number(settings.exposureTime) + " us is outside the " + number(low) +
                                  " to " + number(high) + " us of " + who);
            arv_camera_set_exposure_time(camera, settings.exposureTime, &error);
            if (error != nullptr) throw EngineError(who + " refuses an exposure of " + number(settings.exposureTime) + " us: " + messageOf(error));
        }
        description.exposureTime = arv_camera_get_exposure_time(camera, nullptr);
    } else if (settings.exposureTime > 0) {
        throw EngineError(who + " has no exposure time to set");
    }
    if (arv_camera_is_gain_available(camera, nullptr)) description.gain = arv_camera_get_gain(camera, nullptr);
}

void CameraStream::start() {
    if (started) return;
    GError* error = nullptr;
    arv_camera_start_acquisition(device, &error);
    if (error != nullptr) throw EngineError("the camera will not start: " + messageOf(error));
    started = true;
    thread = std::thread(&CameraStream::run, this);
}

void CameraStream::stop() {
    if (started && !stopping.exchange(true)) {
        // A camera that stopped answering would only make each command wait for its time-outs.
        if (!controlLost) arv_camera_stop_acquisition(device, nullptr);
        thread.join();
    }
    queue.close();
}

IFrame* CameraStream::next(int timeoutMs) { return queue.pop(timeoutMs); }

StreamStatistics CameraStream::statistics() const {
    StreamStatistics figures;
    figures.received = received;
    figures.delivered = delivered;
    figures.droppedQueueFull = droppedQueueFull;
    figures.droppedNoMemory = droppedNoMemory;
    figures.incomplete = incomplete;
    figures.repeated = repeated;
    figures.lost = lost;
    figures.limiterPeak = limiterPeak;
    return figures;
}

std::string CameraStream::failure() const {
    if (!controlLost) return "";
    return "lost the camera " + description.vendor + " " + description.model + " (" + description.serial +
           "): it stopped answering";
}

void CameraStream::onControlLost(void*, void* self) {
    // On Aravis's heartbeat thread, which started before the camera was described: it only raises
    // the flag, which the stream thread sees and ends the stream.
    static_cast<CameraStream*>(self)->controlLost = true;
}

void CameraStream::run() {
    while (!stopping && !controlLost) {
        ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, kPopTimeoutMicroseconds);
        if (buffer == nullptr) continue;
        take(buffer, getTimestamp());
        arv_stream_push_buffer(stream, buffer);
    }
    queue.close();
}

void CameraStream::take(ArvBuffer* buffer, double arrival) {
    ++received;
    const uint64_t id = arv_buffer_get_frame_id(buffer);
    const FrameIdBooks::Arrival seen = ids.arrive(id);
    if (!seen.follows) {
        // Overtaken while its packets were sent again (too late for the consumer, who takes frames
        // in order), or handed back a second time.
        if (seen.again) {
            ++repeated;
            return;
        }
        if (lost > 0) --lost;
        ++incomplete;
        return;
    }
    lost += seen.skipped;
    missedSinceDelivery += seen.skipped;

    const PixelFormatMapping& format = *description.format;
    size_t size = 0;
    const void* image = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS ? arv_buffer_get_image_data(buffer, &size) : nullptr;
    gint x = 0, y = 0, width = 0, height = 0, padding = 0, paddingY = 0;
    if (image != nullptr) {
        arv_buffer_get_image_region(buffer, &x, &y, &width, &height);
        arv_buffer_get_image_padding(buffer, &padding, &paddingY);
    }
    if (image == nullptr || arv_buffer_get_image_pixel_format(buffer) != format.pixelFormat || width != description.width ||
        height != description.height || padding < 0) {
        ++incomplete;
        ++missedSinceDelivery;
        return;
    }

    IFrame* frame = nullptr;
    try {
        frame = pool->getFrame(format.frameType, width, height);
        if (frame == nullptr ||
            !copyImage(frame, format, static_cast<const unsigned char*>(image), size, width, height, size_t(padding))) {
            giveUp(frame);
            ++droppedNoMemory;
            ++missedSinceDelivery;
            return;
        }
        raisePeak(limiterPeak, limiter.getMemoryUsed());
        deliver(frame, buffer, arrival);
    } catch (const std::bad_alloc&) {
        giveUp(frame);
        ++droppedNoMemory;
        ++missedSinceDelivery;
    }
}

void CameraStream::deliver(IFrame* frame, ArvBuffer* buffer, double arrival) {
    // A frame from the pool comes back with the metadata of its last use: every item is written again.
    frame->setTime(arrival);
    frame->addDoubleMetaData(metadata::kFrameId, double(arv_buffer_get_frame_id(buffer)));
    frame->addDoubleMetaData(metadata::kMissedBefore, double(missedSinceDelivery));
    frame->addDoubleMetaData(metadata::kCameraTimestamp, double(arv_buffer_get_timestamp(buffer)) * 1e-9);
    frame->addDoubleMetaData(metadata::kExposure, description.exposureTime * 1e-6);
    frame->addDoubleMetaData(metadata::kGain, description.gain);
    frame->addCStrMetaData(metadata::kVendor, description.vendor.c_str());
    frame->addCStrMetaData(metadata::kModel, description.model.c_str());
    frame->addCStrMetaData(metadata::kSerial, description.serial.c_str());
    frame->addCStrMetaData(metadata::kPixelFormat, description.format->name);
    if (description.format->bayerPattern != nullptr)
        frame->addCStrMetaData(metadata::kBayerPattern, description.format->bayerPattern);
    if (!queue.tryPush(frame)) {
        giveUp(frame);
        ++droppedQueueFull;
        ++missedSinceDelivery;
        return;
    }
    ++delivered;
    missedSinceDelivery = 0;
}

}  // namespace aravisengine

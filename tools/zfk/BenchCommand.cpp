// zfk bench: how long each operation of each frame type takes, through the library as an engine
// loads it (the DLL on Windows), beside the baselines it is judged against (kBaselines says them).
// Each figure is the median of repeated runs; every run of the operation and of each baseline is a
// warm second run, and they take turns, so that all share whatever else the machine is doing.
// --kernels runs a lower kernel level, through the switch that only the library's test build exports.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "Commands.h"
#include "ha.h"
#include "kernels/KernelLevel.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zfk {

namespace {

using Clock = std::chrono::steady_clock;

const char* const kBaselines =
    "x_memcpy: a memcpy of the bytes the operation writes, between warm buffers laid out as its own source\n"
    "          and destination are (the same addresses modulo 4096: the C library's memcpy slows many\n"
    "          times over when its destination lies a little past its source modulo 4096); a bitmap's\n"
    "          memcpy writes into the bitmap itself\n"
    "x_floor:  what a host array cannot go below: haCreateNumericArray of the larger of the native\n"
    "          array's and the result's shapes, a memcpy of its bytes into it, and haFree\n";

// A function the library exports, or null: the test build's kernel switch is looked up, not linked.
void* libraryFunction(const char* name) {
#if defined(_WIN32)
    HMODULE library = GetModuleHandleA("zorvframekit.dll");
    return library != nullptr ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
#else
    return dlsym(RTLD_DEFAULT, name);
#endif
}

// A warm buffer of `size` bytes starting at `offset` modulo 4096.
class PlacedBuffer {
public:
    PlacedBuffer(size_t size, uintptr_t offset) : storage(size + 8192) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(storage.data());
        start = storage.data() + ((offset - base % 4096 + 4096) % 4096);
    }
    unsigned char* data() { return start; }

private:
    std::vector<unsigned char> storage;
    unsigned char* start;
};

uintptr_t pageOffset(const void* address) { return reinterpret_cast<uintptr_t>(address) % 4096; }

// The same pseudo-random bytes every run.
std::vector<unsigned char> benchBytes(size_t size) {
    std::vector<unsigned char> bytes(size);
    uint32_t state = 12345;
    for (unsigned char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

// Nanoseconds of the second of two calls.
double secondRun(const std::function<void()>& run) {
    run();
    const Clock::time_point start = Clock::now();
    run();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Operation {
    const char* name;
    std::function<void()> run;
    size_t bytesWritten;
    std::vector<int> floorShape;  // empty: not a host array
    int floorElementBytes;
    uintptr_t sourceOffset, destinationOffset;  // where the operation reads and writes, modulo 4096
    // The buffer the operation writes every call, if it writes one: the memcpy writes there too, since
    // on a virtual machine the same copy can take a third longer into one buffer than into another.
    unsigned char* destination;
};

// The shape and element size of a host array, read back.
struct Shape {
    std::vector<int> dimensions;
    int elementBytes = 0;
    size_t bytes() const {
        size_t n = static_cast<size_t>(elementBytes);
        for (int extent : dimensions) n *= static_cast<size_t>(extent);
        return n;
    }
};

Shape shapeOf(HostArray array) {
    Shape shape;
    const int* dims = haGetDimensions(array);
    shape.dimensions.assign(dims, dims + haGetNumberOfDimensions(array));
    shape.elementBytes = haGetElementSize(array);
    return shape;
}

// The operations a frame can do: its native host array, those converted to the other colour spaces
// (the ones it can make), its bitmap, and copying a whole frame in.
std::vector<Operation> operationsOf(IFrame* frame, const std::vector<unsigned char>& raw, std::vector<unsigned char>& bitmap) {
    std::vector<Operation> operations;
    const uintptr_t frameData = pageOffset(frame->getData());
    operations.push_back({"copyData", [frame, &raw] { frame->copyData(raw.data()); }, raw.size(), {}, 0,
                          pageOffset(raw.data()), frameData, nullptr});
    HostArray native = frame->getNativeHostArray();
    if (native == nullptr) fail("the library made no host array of a frame that holds data");
    const Shape nativeShape = shapeOf(native);
    // Host arrays of one shape come where the heap puts them, alike from one call to the next.
    const uintptr_t arrayData = pageOffset(haGetData(native));
    haFree(native);
    operations.push_back({"getNativeHostArray", [frame] { haFree(frame->getNativeHostArray()); }, nativeShape.bytes(),
                          nativeShape.dimensions, nativeShape.elementBytes, frameData, arrayData, nullptr});
    const struct {
        const char* name;
        int space;
    } spaces[] = {{"getHostArray(RGB)", zorvframekit::kColorSpaceRGB},
                  {"getHostArray(YUV)", zorvframekit::kColorSpaceYUV},
                  {"getHostArray(Mono)", zorvframekit::kColorSpaceMonochrome}};
    for (const auto& space : spaces) {
        if (space.space == frame->getColorSpace()) continue;
        HostArray converted = frame->getHostArray(space.space);
        if (converted == nullptr) continue;
        const Shape shape = shapeOf(converted);
        const uintptr_t convertedData = pageOffset(haGetData(converted));
        haFree(converted);
        const Shape& larger = shape.bytes() >= nativeShape.bytes() ? shape : nativeShape;
        const int mask = space.space;
        operations.push_back({space.name, [frame, mask] { haFree(frame->getHostArray(mask)); }, shape.bytes(),
                              larger.dimensions, larger.elementBytes, frameData, convertedData, nullptr});
    }
    bitmap.assign(static_cast<size_t>(frame->getBitmapSize()), 0);
    operations.push_back({"fillBitmap",
                          [frame, &bitmap] {
                              BITMAPINFOHEADER header;
                              frame->fillBitmap(&header, bitmap.data());
                          },
                          bitmap.size(), {}, 0, frameData, pageOffset(bitmap.data()), bitmap.data()});
    return operations;
}

struct Timing {
    double operation, memcpyTime, floorTime;  // medians, nanoseconds; floor 0 when there is none
};

Timing timeOperation(const Operation& operation, int runs) {
    const size_t floorBytes = [&] {
        size_t n = static_cast<size_t>(operation.floorElementBytes);
        for (int extent : operation.floorShape) n *= static_cast<size_t>(extent);
        return operation.floorShape.empty() ? 0 : n;
    }();
    const size_t sourceBytes = std::max(operation.bytesWritten, floorBytes);
    // A destination of its own only where the operation has none it writes every call.
    const bool ownDestination = operation.destination == nullptr;
    PlacedBuffer from(sourceBytes, operation.sourceOffset),
        to(ownDestination ? operation.bytesWritten : 0, operation.destinationOffset);
    const std::vector<unsigned char> pattern = benchBytes(sourceBytes);
    std::memcpy(from.data(), pattern.data(), sourceBytes);
    const int classID = operation.floorElementBytes == 2 ? haUint16Class : haUint8Class;
    unsigned char* const copyTo = ownDestination ? to.data() : operation.destination;
    std::vector<double> own, copies, floors;
    for (int run = 0; run < runs; ++run) {
        copies.push_back(secondRun([&] { std::memcpy(copyTo, from.data(), operation.bytesWritten); }));
        if (floorBytes > 0)
            floors.push_back(secondRun([&] {
                HostArray array = haCreateNumericArray(static_cast<int>(operation.floorShape.size()),
                                                       operation.floorShape.data(), classID, 0);
                if (array != nullptr) std::memcpy(haGetData(array), from.data(), floorBytes);
                haFree(array);
            }));
        own.push_back(secondRun(operation.run));
    }
    return Timing{median(own), median(copies), floors.empty() ? 0.0 : median(floors)};
}

}  // namespace

int runBench(const BenchOptions& options, const Console& console) {
    std::vector<const FormatInfo*> formats;
    for (const FormatInfo& format : allFormats())
        if (options.format == nullptr || options.format == &format) formats.push_back(&format);
    std::vector<Size> sizes = options.sizes;
    if (sizes.empty()) sizes = {Size{640, 480, "640x480"}, Size{1920, 1080, "1920x1080"}};

    const zorvframekit::KernelLevel best = zorvframekit::processorKernelLevel();
    typedef int (*KernelLevelQuery)();
    typedef bool (*KernelSwitch)(int);
    const auto running = reinterpret_cast<KernelLevelQuery>(libraryFunction("zfkTestKernelLevel"));
    if (options.kernels >= 0) {
        const auto force = reinterpret_cast<KernelSwitch>(libraryFunction("zfkTestForceKernelLevel"));
        if (force == nullptr)
            fail("--kernels needs the library's test build, which has the switch: run the zfk beside it "
                 "(bin/hooked/zfk.exe on Windows; LD_LIBRARY_PATH=bin/hooked elsewhere)");
        const auto level = static_cast<zorvframekit::KernelLevel>(options.kernels);
        if (!force(options.kernels))
            fail(std::string("this processor cannot run the ") + zorvframekit::kernelLevelName(level) + " kernels");
    }
    const zorvframekit::KernelLevel level = running ? static_cast<zorvframekit::KernelLevel>(running()) : best;
    std::fprintf(console.out, "zfk bench: kernels %s (this processor runs up to %s); median of %d warm runs\n%s",
                 zorvframekit::kernelLevelName(level), zorvframekit::kernelLevelName(best), options.runs, kBaselines);
    std::fprintf(console.out, "%-9s %-10s %-19s %9s %9s %8s\n", "format", "size", "operation", "ms", "x_memcpy",
                 "x_floor");
    for (const Size& size : sizes)
        for (const FormatInfo* format : formats) {
            zorvframekit::MemoryLimiter limiter;
            limiter.setMemoryLimit(2147483647);
            std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(
                frameFactory(codeOf(*format, false), size.width, size.height));
            if (!frame) fail("a " + size.text + " frame does not fit " + format->name);
            frame->setMemoryLimiter(&limiter);
            const std::vector<unsigned char> raw = benchBytes(static_cast<size_t>(frame->getDataSize()));
            if (frame->copyData(raw.data()) == 0) fail("no buffer for a " + size.text + " " + format->name + " frame");
            std::vector<unsigned char> bitmap;
            for (const Operation& operation : operationsOf(frame.get(), raw, bitmap)) {
                const Timing timing = timeOperation(operation, options.runs);
                char floorText[32] = "-";
                if (timing.floorTime > 0) std::snprintf(floorText, sizeof floorText, "%.2f", timing.operation / timing.floorTime);
                std::fprintf(console.out, "%-9s %-10s %-19s %9.4f %9.2f %8s\n", format->name, size.text.c_str(),
                             operation.name, timing.operation / 1e6, timing.operation / timing.memcpyTime, floorText);
                std::fflush(console.out);
            }
        }
    return 0;
}

}  // namespace zfk

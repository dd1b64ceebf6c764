// Any type code and size, then any sequence of frame operations with arbitrary arguments. Sources
// and destinations are exactly as large as they should be, so any over-read or over-write trips
// AddressSanitizer; at the end the limiter is credited every byte it was charged.
#include <cstring>
#include <memory>

#include "fuzz_input.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace {

const uint32_t kFamilies[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x11};
const int kMostGranted = 1 << 20;  // the largest limit the limiter is ever given: runs stay quick

uint32_t pickCode(FuzzInput& in) {
    const uint8_t kind = in.byte();
    if (kind >= 250) return in.u32();  // anything, unknown families included
    const uint32_t family = kFamilies[kind % 6];
    return zorvframekit::makeFrameTypeCode(family, in.byte() % 10, (in.byte() & 1) != 0);
}

// The bytes a source image of this layout and size has.
int64_t sourceBytes(uint32_t code, int width, int height) {
    if ((code >> 24) == 0x04) {
        const int64_t f = (code & 0xFF) == 0 ? 4 : 2, luma = int64_t(width) * height;
        return luma + 2 * (luma / (f * f));
    }
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> probe(frameFactory(code, width, height));
    return probe ? probe->getDataSize() : -1;
}

void freeArray(HostArray array) {
    if (array == nullptr) return;
    const int* dims = haGetDimensions(array);
    FUZZ_REQUIRE(dims[0] >= 0 && dims[1] >= 0);
    haFree(array);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint32_t code = pickCode(in);
    const int width = in.size32(48), height = in.size32(48);
    IFrame* frame = frameFactory(code, width, height);
    if (frame == nullptr) return 0;
    zorvframekit::MemoryLimiter limiter(0, 1 << 26);
    limiter.setMemoryLimit(kMostGranted);
    frame->setMemoryLimiter(&limiter);
    int references = 0;
    bool alive = true;
    for (int step = 0; step < 64 && in.more() && alive; ++step) {
        switch (in.byte() % 9) {
        case 0: {
            // A frame larger than the limiter ever grants copies nothing: a token source will do.
            const bool granted = frame->getDataSize() <= kMostGranted;
            const std::vector<uint8_t> source = in.bytes(granted ? static_cast<size_t>(frame->getDataSize()) : 1);
            const int copied = frame->copyData(source.data());
            FUZZ_REQUIRE(copied == 0 || copied == frame->getDataSize());
            break;
        }
        case 1: {
            const int srcWidth = in.size32(64), srcHeight = in.size32(64);
            const int x = static_cast<int>(in.byte()) - 8, y = static_cast<int>(in.byte()) - 8;
            const int64_t bytes = sourceBytes(code, srcWidth, srcHeight);
            if (bytes < 0 || bytes > (1 << 22)) break;
            const std::vector<uint8_t> source = in.bytes(static_cast<size_t>(bytes));
            frame->copyRegion(source.empty() ? nullptr : source.data(), srcWidth, srcHeight, x, y);
            break;
        }
        case 2:
            freeArray(frame->getHostArray(in.byte() % 16));
            break;
        case 3:
            freeArray(frame->getNativeHostArray());
            break;
        case 4: {
            // Without a buffer nothing may be written, not even into a null area.
            std::vector<uint8_t> pixels(frame->hasData() ? static_cast<size_t>(frame->getBitmapSize()) : 0);
            std::unique_ptr<BITMAPINFOHEADER> header(new BITMAPINFOHEADER);
            frame->fillBitmap(header.get(), pixels.data());
            break;
        }
        case 5: {
            const char names[4][8] = {"a", "b", "exp", ""};
            const char* name = names[in.byte() % 4];
            const uint8_t kind = in.byte() % 4;
            if (kind == 0) {
                char text[16] = {0};
                for (int i = 0; i < 15; ++i) text[i] = static_cast<char>(in.byte());
                frame->addCStrMetaData(name, text);
            } else if (kind == 1) {
                double value;
                const uint32_t high = in.u32(), low = in.u32();
                const uint64_t bits = uint64_t(high) << 32 | low;
                std::memcpy(&value, &bits, sizeof value);
                frame->addDoubleMetaData(name, value);
                frame->addTimeVectorMetaData("t", value);
            } else {
                freeArray(frame->getMetaData(name));
                freeArray(frame->getMetaData("t"));
            }
            std::vector<const char*> all(static_cast<size_t>(frame->getMetaDataCount()));
            frame->getMetaDataNames(all.data());
            break;
        }
        case 6:
            if (in.byte() & 1) {
                frame->incRefCount();
                ++references;
            } else {
                frame->decRefCount();  // from 0 it goes, and nothing may touch it after
                alive = references-- > 1;
            }
            break;
        case 7:
            frame->setMemoryLimiter(in.byte() & 1 ? &limiter : nullptr);
            limiter.setMemoryLimit(static_cast<int>(in.u32() % kMostGranted));
            break;
        default: {
            const int* dims = frame->getDimensions();
            FUZZ_REQUIRE(dims[0] == width && dims[1] == height);
            FUZZ_REQUIRE(frame->getFrameType() == code);
            const unsigned char* buffer = frame->getData();
            FUZZ_REQUIRE(frame->hasData() == (buffer != nullptr));
            break;
        }
        }
    }
    if (alive) frame->release();
    FUZZ_REQUIRE(limiter.getMemoryUsed() == 0);
    return 0;
}

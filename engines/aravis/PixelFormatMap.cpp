#include "PixelFormatMap.h"

#include <cctype>
#include <cstring>

namespace aravisengine {

namespace {

using zorvframekit::kFamilyMonochrome;
using zorvframekit::kFamilyRGB24Packed;
using zorvframekit::kFamilyYUVPacked;
using zorvframekit::makeFrameTypeCode;

const FrameTypeCode kMono8 = makeFrameTypeCode(kFamilyMonochrome, 0, false);

int bitsPerPixel(const PixelFormatMapping& format) { return int((format.pixelFormat >> 16) & 0xFF); }

bool sameName(const char* a, const std::string& b) {
    if (std::strlen(a) != b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

const std::vector<PixelFormatMapping>& pixelFormatMappings() {
    // The monochrome frames' 10- to 16-bit formats are the low byte first, as GenICam's unpacked ones.
    static const std::vector<PixelFormatMapping> mappings = {
        {"Mono8", 0x01080001, kMono8, 1, nullptr},
        {"Mono10", 0x01100003, makeFrameTypeCode(kFamilyMonochrome, 1, false), 1, nullptr},
        {"Mono12", 0x01100005, makeFrameTypeCode(kFamilyMonochrome, 2, false), 1, nullptr},
        {"Mono14", 0x01100025, makeFrameTypeCode(kFamilyMonochrome, 3, false), 1, nullptr},
        {"Mono16", 0x01100007, makeFrameTypeCode(kFamilyMonochrome, 4, false), 1, nullptr},
        {"RGB8", 0x02180014, makeFrameTypeCode(kFamilyRGB24Packed, 0, false), 1, nullptr},
        {"BGR8", 0x02180015, makeFrameTypeCode(kFamilyRGB24Packed, 1, false), 1, nullptr},
        {"RGBa8", 0x02200016, makeFrameTypeCode(kFamilyRGB24Packed, 2, false), 1, nullptr},
        {"BGRa8", 0x02200017, makeFrameTypeCode(kFamilyRGB24Packed, 3, false), 1, nullptr},
        {"YUV422_8", 0x02100032, makeFrameTypeCode(kFamilyYUVPacked, 0, false), 2, nullptr},       // Y0 U Y1 V: YUY2
        {"YUV422_8_UYVY", 0x0210001F, makeFrameTypeCode(kFamilyYUVPacked, 1, false), 2, nullptr},  // U Y0 V Y1: UYVY
        {"YUV411_8_UYYVYY", 0x020C001E, makeFrameTypeCode(kFamilyYUVPacked, 3, false), 4, nullptr},  // Y411
        {"YUV8_UYV", 0x02180020, makeFrameTypeCode(kFamilyYUVPacked, 4, false), 1, nullptr},          // IYU2
        {"BayerGR8", 0x01080008, kMono8, 1, "GR"},
        {"BayerRG8", 0x01080009, kMono8, 1, "RG"},
        {"BayerGB8", 0x0108000A, kMono8, 1, "GB"},
        {"BayerBG8", 0x0108000B, kMono8, 1, "BG"},
    };
    return mappings;
}

const PixelFormatMapping* findPixelFormat(uint32_t pixelFormat) {
    for (const PixelFormatMapping& mapping : pixelFormatMappings())
        if (mapping.pixelFormat == pixelFormat) return &mapping;
    return nullptr;
}

const PixelFormatMapping* findPixelFormat(const std::string& name) {
    for (const PixelFormatMapping& mapping : pixelFormatMappings())
        if (sameName(mapping.name, name)) return &mapping;
    return nullptr;
}

std::string mappedFormatNames() {
    std::string names;
    for (const PixelFormatMapping& mapping : pixelFormatMappings()) names += (names.empty() ? "" : ", ") + std::string(mapping.name);
    return names;
}

size_t rowBytes(const PixelFormatMapping& format, int width) { return size_t(width) * size_t(bitsPerPixel(format)) / 8; }

bool copyImage(IFrame* frame, const PixelFormatMapping& format, const unsigned char* image, size_t size, int width,
               int height, size_t rowPadding) {
    const size_t row = rowBytes(format, width), stride = row + rowPadding;
    if (width <= 0 || height <= 0 || size < stride * size_t(height - 1) + row) return false;
    if (rowPadding == 0) {
        if (size_t(frame->getDataSize()) != row * size_t(height)) return false;
        return frame->copyData(image) != 0;
    }
    // A row wider than the frame by whole pixels is a window of a wider image, which the frame
    // cuts itself; padding inside a pixel group (or a part of a pixel) is stepped over row by row.
    const size_t pixelBytes = size_t(bitsPerPixel(format)) / 8;
    if (format.groupWidth == 1 && bitsPerPixel(format) % 8 == 0 && rowPadding % pixelBytes == 0) {
        frame->copyRegion(image, int(stride / pixelBytes), height, 0, 0);
        return frame->hasData();
    }
    unsigned char* pixels = frame->getData();
    if (pixels == nullptr || size_t(frame->getDataSize()) != row * size_t(height)) return false;
    for (int y = 0; y < height; ++y) std::memcpy(pixels + size_t(y) * row, image + size_t(y) * stride, row);
    return true;
}

}  // namespace aravisengine

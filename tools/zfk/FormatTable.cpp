#include "FormatTable.h"

#include <cctype>
#include <memory>

namespace zfk {

using namespace zorvframekit;

const std::vector<FormatInfo>& allFormats() {
    static const std::vector<FormatInfo> formats = {
        {"Mono8", kFamilyMonochrome, 0, true, "8-bit grey"},
        {"Mono10", kFamilyMonochrome, 1, true, "10-bit grey in 2 bytes, low byte first"},
        {"Mono12", kFamilyMonochrome, 2, true, "12-bit grey in 2 bytes, low byte first"},
        {"Mono14", kFamilyMonochrome, 3, true, "14-bit grey in 2 bytes, low byte first"},
        {"Mono16", kFamilyMonochrome, 4, true, "16-bit grey, low byte first"},
        {"Mono10BE", kFamilyMonochrome, 5, true, "10-bit grey in 2 bytes, high byte first"},
        {"Mono12BE", kFamilyMonochrome, 6, true, "12-bit grey in 2 bytes, high byte first"},
        {"Mono14BE", kFamilyMonochrome, 7, true, "14-bit grey in 2 bytes, high byte first"},
        {"Mono16BE", kFamilyMonochrome, 8, true, "16-bit grey, high byte first"},
        {"RGB24", kFamilyRGB24Packed, 0, true, "R G B"},
        {"BGR24", kFamilyRGB24Packed, 1, true, "B G R"},
        {"RGBX", kFamilyRGB24Packed, 2, true, "R G B x"},
        {"BGRX", kFamilyRGB24Packed, 3, true, "B G R x"},
        {"RGB555", kFamilyRGB16, 0, true, "16-bit word x R5 G5 B5"},
        {"RGB565", kFamilyRGB16, 1, true, "16-bit word R5 G6 B5"},
        {"RGBP", kFamilyRGB24Planar, 0, false, "planar RGB: R plane, G plane, B plane"},
        {"YUY2", kFamilyYUVPacked, 0, false, "Y0 U Y1 V, 4:2:2"},
        {"UYVY", kFamilyYUVPacked, 1, false, "U Y0 V Y1, 4:2:2"},
        {"YVYU", kFamilyYUVPacked, 2, false, "Y0 V Y1 U, 4:2:2"},
        {"Y411", kFamilyYUVPacked, 3, false, "U Y0 Y1 V Y2 Y3, 4:1:1"},
        {"IYU2", kFamilyYUVPacked, 4, false, "U Y V, 4:4:4"},
        {"Y41P", kFamilyYUVPacked, 5, false, "U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4..Y7, 4:1:1"},
        {"UVY", kFamilyYUVPacked, 6, false, "U V Y, 4:4:4"},
        {"YVU9", kFamilyYUVPlanar, 0, false, "planar Y, V, U; chroma 1 per 4x4"},
        {"YV12", kFamilyYUVPlanar, 1, false, "planar Y, V, U; chroma 1 per 2x2"},
        {"I420", kFamilyYUVPlanar, 2, false, "planar Y, U, V; chroma 1 per 2x2"},
    };
    return formats;
}

const FormatInfo* findFormat(const std::string& name) {
    auto lower = [](std::string text) {
        for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return text;
    };
    for (const FormatInfo& format : allFormats())
        if (lower(format.name) == lower(name)) return &format;
    return nullptr;
}

const FormatInfo* findFormat(FrameTypeCode code) {
    for (const FormatInfo& format : allFormats())
        if ((code >> 24) == format.family && static_cast<int>(code & 0xFF) == format.formatIndex) return &format;
    // The planar RGB family has one layout whatever the low byte says.
    if ((code >> 24) == kFamilyRGB24Planar) return findFormat(std::string("RGBP"));
    return nullptr;
}

FrameTypeCode codeOf(const FormatInfo& format, bool bottomUp) {
    return makeFrameTypeCode(format.family, static_cast<uint32_t>(format.formatIndex), bottomUp && format.hasRowOrder);
}

std::string displayName(const FormatInfo& format, bool bottomUp) {
    return std::string(format.name) + (bottomUp && format.hasRowOrder ? " bottom-up" : "");
}

const char* colorSpaceName(int colorSpace) {
    switch (colorSpace) {
    case kColorSpaceMonochrome:
        return "mono";
    case kColorSpaceRGB:
        return "RGB";
    case kColorSpaceYUV:
        return "YUV";
    default:
        return "-";
    }
}

int64_t rawFrameBytes(FrameTypeCode code, int width, int height) {
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(code, width, height));
    return frame ? frame->getDataSize() : 0;
}

}  // namespace zfk

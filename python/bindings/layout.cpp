#include "layout.h"

#include <pybind11/pybind11.h>

#include <cstdio>
#include <memory>

namespace py = pybind11;

namespace zfkpy {

using zfk::FormatInfo;

namespace {

std::string hex(int64_t code) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<long long>(code));
    return text;
}

FrameTypeCode withRowOrder(const FormatInfo& format, FrameTypeCode code, bool bottomUp) {
    if (!bottomUp) return code;
    if (!format.hasRowOrder) throw py::value_error(std::string(format.name) + " frames are always top-down");
    return code | 0x100u;
}

}  // namespace

FrameTypeCode typeCodeOf(const std::string& name, bool bottomUp) {
    const FormatInfo* format = zfk::findFormat(name);
    if (format == nullptr)
        throw py::value_error("unknown frame format '" + name + "' (zorvframekit.formats() lists them)");
    return withRowOrder(*format, zfk::codeOf(*format, false), bottomUp);
}

FrameTypeCode typeCodeOf(int64_t code, bool bottomUp) {
    const FormatInfo* format = code >= 0 && code <= 0xFFFFFFFFll ? zfk::findFormat(static_cast<FrameTypeCode>(code)) : nullptr;
    // The factory is the judge of the format index; the table only names what it makes.
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> probe(
        format != nullptr ? frameFactory(static_cast<FrameTypeCode>(code), 1, 1) : nullptr);
    if (!probe) throw py::value_error("unknown frame type code " + hex(code) + " (zorvframekit.formats() lists them)");
    return withRowOrder(*format, static_cast<FrameTypeCode>(code), bottomUp);
}

std::string typeName(FrameTypeCode code) {
    const FormatInfo* format = zfk::findFormat(code);
    return format ? zfk::displayName(*format, (code & 0x100u) != 0) : hex(code);
}

int64_t rawBytes(FrameTypeCode code, int width, int height) { return zfk::rawFrameBytes(code, width, height); }

bool isPackedYUV(FrameTypeCode code) { return (code >> 24) == zorvframekit::kFamilyYUVPacked; }

bool isPlanarYUV(FrameTypeCode code) { return (code >> 24) == zorvframekit::kFamilyYUVPlanar; }

int pixelsPerGroup(FrameTypeCode code) {
    // A packed row is stored in whole groups: it first needs a second group one pixel past a group.
    const int64_t oneGroup = rawBytes(code, 1, 1);
    int pixels = 1;
    while (pixels < 64 && rawBytes(code, pixels + 1, 1) == oneGroup) ++pixels;
    return pixels;
}

int subsampling(FrameTypeCode code) {
    // A 1 x 1 frame is padded to one f x f luma block, with one sample in each chroma plane.
    const int64_t bytes = rawBytes(code, 1, 1) - 2;
    int factor = 1;
    while (int64_t(factor) * factor < bytes) ++factor;
    return factor;
}

}  // namespace zfkpy

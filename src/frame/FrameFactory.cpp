// The frame type code's family selects the frame class; the class reads the format index and row
// order itself.
#include "formats/MonochromeFrame.h"
#include "formats/RGB16Frame.h"
#include "formats/RGB24Frame.h"
#include "formats/RGB24Planar.h"
#include "formats/YUVPackedFrame.h"
#include "formats/YUVPlanarFrame.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

namespace {

typedef IFrame* (*MakeFrame)(int width, int height, int formatIndex, int bottomUp);

struct Family {
    uint32_t family;
    int colorSpace;
    MakeFrame make;  // null while the family's class is not built
};

const Family families[] = {
    {kFamilyRGB24Packed, kColorSpaceRGB, RGB24Frame::create},
    {kFamilyRGB24Planar, kColorSpaceRGB, RGB24Planar::create},
    {kFamilyYUVPacked, kColorSpaceYUV, YUVPackedFrame::create},
    {kFamilyYUVPlanar, kColorSpaceYUV, YUVPlanarFrame::create},
    {kFamilyRGB16, kColorSpaceRGB, RGB16Frame::create},
    {kFamilyMonochrome, kColorSpaceMonochrome, MonochromeFrame::create},
};

const Family* findFamily(FrameTypeCode code) {
    for (const Family& row : families)
        if ((code & 0xFF000000u) == row.family << 24) return &row;
    return nullptr;
}

}  // namespace

}  // namespace zorvframekit

using namespace zorvframekit;

extern "C" IFrame* frameFactory(FrameTypeCode code, int width, int height) {
    const Family* family = findFamily(code);
    if (family == nullptr || family->make == nullptr || width <= 0 || height <= 0) return nullptr;
    IFrame* frame = family->make(width, height, static_cast<int>(code & 0xFF), static_cast<int>((code >> 8) & 1));
    if (frame != nullptr) frame->setFrameType(code);
    return frame;
}

extern "C" int getFrameTypeColorSpace(FrameTypeCode code) {
    const Family* family = findFamily(code);
    return family ? family->colorSpace : 0;
}

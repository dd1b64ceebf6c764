// The frame factory and the colour space of a type code.
#include <gtest/gtest.h>

#include <memory>

#include "zorvframekit/zorvframekit.h"

namespace {

TEST(FrameFactory, MakesAMonochromeFrameThatKnowsItsCode) {
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(0x11000000, 640, 480));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getFrameType(), 0x11000000u);
    EXPECT_EQ(frame->getColorSpace(), 1);
    EXPECT_EQ(frame->getDataSize(), 640 * 480);
    EXPECT_EQ(frame->getOwnerPool(), nullptr);
    EXPECT_EQ(frame->getMemoryLimiter(), nullptr);
    EXPECT_EQ(frame->getData(), nullptr);  // no limiter yet, so no buffer
    const unsigned char byte = 0;
    EXPECT_EQ(frame->copyData(&byte), 0);
}

TEST(FrameFactory, UninterpretedBitsAreKeptInTheCode) {
    const FrameTypeCode code = 0x117FFE05;  // bits 9-23 set, bottom-up, format 5
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(code, 4, 4));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getFrameType(), code);
    EXPECT_EQ(frame->getBitDepth(), 10);
    EXPECT_EQ(frame->getDataSize(), 32);
}

TEST(FrameFactory, UnknownFamiliesGiveNothing) {
    for (FrameTypeCode code : {0x06000000u, 0x10000000u, 0x00000000u, 0x12000000u, 0xFF000000u, 0x00110000u}) {
        EXPECT_EQ(frameFactory(code, 8, 8), nullptr) << std::hex << code;
        EXPECT_EQ(getFrameTypeColorSpace(code), 0) << std::hex << code;
    }
}

TEST(FrameFactory, ColourSpaceComesFromTheFamilyAlone) {
    EXPECT_EQ(getFrameTypeColorSpace(0x11000000), 1);
    EXPECT_EQ(getFrameTypeColorSpace(0x11FFFFFF), 1);
    EXPECT_EQ(getFrameTypeColorSpace(0x01000102), 2);
    EXPECT_EQ(getFrameTypeColorSpace(0x020001FF), 2);
    EXPECT_EQ(getFrameTypeColorSpace(0x05000001), 2);
    EXPECT_EQ(getFrameTypeColorSpace(0x03000006), 4);
    EXPECT_EQ(getFrameTypeColorSpace(0x04ABCD02), 4);
}

TEST(FrameFactory, RefusesFormatIndexesOutsideTheTable) {
    EXPECT_NE((std::unique_ptr<IFrame, zorvframekit::FrameRelease>(frameFactory(0x11000008, 2, 2))), nullptr);
    EXPECT_EQ(frameFactory(0x11000009, 2, 2), nullptr);
    EXPECT_EQ(frameFactory(0x110001FF, 2, 2), nullptr);
}

TEST(FrameFactory, RefusesSizesThatAreEmptyOrDoNotFitAnInt) {
    EXPECT_EQ(frameFactory(0x11000000, 0, 480), nullptr);
    EXPECT_EQ(frameFactory(0x11000000, 640, 0), nullptr);
    EXPECT_EQ(frameFactory(0x11000000, -640, 480), nullptr);
    EXPECT_EQ(frameFactory(0x11000000, 640, -480), nullptr);
    EXPECT_EQ(frameFactory(0x11000000, 46341, 46341), nullptr);  // 2 147 488 281 bytes
    EXPECT_EQ(frameFactory(0x11000001, 40000, 30000), nullptr);  // two bytes a sample
    // The data fits but the bitmap's rows, rounded up to 4 bytes, do not.
    EXPECT_EQ(frameFactory(0x11000000, 2147483645, 1), nullptr);
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> largest(frameFactory(0x11000000, 2147483644, 1));
    EXPECT_NE(largest, nullptr);  // made, though its buffer would need a generous limiter
}

// Under the undefined-behaviour sanitizer a size check whose product overflowed would stop here.
TEST(FrameFactory, RefusesTheLargestSizesOfEveryFormatWithoutOverflowing) {
    const uint32_t codes[] = {0x11000000, 0x11000004, 0x01000000, 0x01000003, 0x05000000, 0x05000001,
                              0x02000000, 0x03000000, 0x03000001, 0x03000002, 0x03000003, 0x03000004,
                              0x03000005, 0x03000006, 0x04000000, 0x04000001, 0x04000002};
    for (uint32_t code : codes) {
        EXPECT_EQ(frameFactory(code, INT32_MAX, INT32_MAX), nullptr) << std::hex << code;
        EXPECT_EQ(frameFactory(code, INT32_MAX, 3), nullptr) << std::hex << code;
        EXPECT_EQ(frameFactory(code, 3, INT32_MAX), nullptr) << std::hex << code;
    }
}

}  // namespace

// An engine's source that has all of <windows.h> (macros such as RGB, min and max included) before
// our header still compiles, and sees the Windows BITMAPINFOHEADER.
#undef WIN32_LEAN_AND_MEAN
#undef NOMINMAX
#include <windows.h>

#include "zorvframekit/zorvframekit.h"

#include <gtest/gtest.h>

TEST(WindowsHeader, CoexistsWithWindowsH) {
    EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
    EXPECT_EQ(zorvframekit::kColorSpaceRGB, 2);
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);  // the macro still works
    zorvframekit::MemoryLimiter limiter(1, 2);  // through the DLL's import library
    EXPECT_EQ(limiter.getMemoryLimit(), 2);
}

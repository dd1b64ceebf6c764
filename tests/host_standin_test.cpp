// The stand-ins for the host's array and support libraries behave as the frames rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "bexcore.h"
#include "ha.h"

namespace {

TEST(HostArrays, NumericArraysHaveTheirShapeClassAndAColumnMajorBlock) {
    const int dims[3] = {2, 3, 3};
    HostArray image = haCreateNumericArray(3, dims, haUint8Class, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(haGetNumberOfDimensions(image), 3);
    EXPECT_EQ(haGetDimensions(image)[0], 2);
    EXPECT_EQ(haGetDimensions(image)[1], 3);
    EXPECT_EQ(haGetDimensions(image)[2], 3);
    EXPECT_EQ(haGetNumberOfElements(image), 18u);
    EXPECT_EQ(haGetClassID(image), 9);
    EXPECT_EQ(haGetElementSize(image), 1);
    EXPECT_TRUE(haIsUint8(image));
    // The whole block is writable and starts zeroed.
    auto* block = static_cast<uint8_t*>(haGetData(image));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(block[i], 0);
    std::memset(block, 0xAB, 18);
    haFree(image);

    HostArray wide = haCreateNumericMatrix(4, 5, haUint16Class, 0);
    EXPECT_EQ(haGetNumberOfDimensions(wide), 2);
    EXPECT_EQ(haGetNumberOfElements(wide), 20u);
    EXPECT_EQ(haGetElementSize(wide), 2);
    EXPECT_FALSE(haIsUint8(wide));
    static_cast<uint16_t*>(haGetData(wide))[19] = 0xFFFF;
    haFree(wide);

    HostArray widest = haCreateNumericMatrix(1, 3, haUint32Class, 0);
    EXPECT_EQ(haGetElementSize(widest), 4);
    EXPECT_EQ(haGetClassID(widest), 13);
    haFree(widest);
}

TEST(HostArrays, EmptyAndUnknownShapes) {
    HostArray empty = haCreateNumericMatrix(0, 7, haUint8Class, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(haGetNumberOfElements(empty), 0u);
    haFree(empty);
    EXPECT_EQ(haCreateNumericMatrix(2, 2, 77, 0), nullptr);  // no such class
    EXPECT_EQ(haCreateNumericMatrix(-1, 2, haUint8Class, 0), nullptr);
    haFree(nullptr);  // harmless
}

TEST(HostArrays, ScalarsAndStringsHoldTheirOwnCopies) {
    HostArray scalar = haCreateDoubleScalar(-0.0);
    EXPECT_EQ(haGetNumberOfElements(scalar), 1u);
    EXPECT_EQ(haGetClassID(scalar), haDoubleClass);
    EXPECT_TRUE(std::signbit(haGetScalar(scalar)));
    haFree(scalar);

    char text[] = "exposure";
    HostArray string = haCreateString(text);
    text[0] = 'X';
    EXPECT_STREQ(haGetChars(string), "exposure");
    EXPECT_EQ(haGetNumberOfElements(string), 8u);
    EXPECT_EQ(haGetClassID(string), haCharClass);
    haFree(string);

    HostArray blank = haCreateString("");
    EXPECT_STREQ(haGetChars(blank), "");
    EXPECT_EQ(haGetNumberOfElements(blank), 0u);
    haFree(blank);
}

double element(HostArray array, int i) { return static_cast<double*>(haGetData(array))[i]; }

TEST(TimeVectors, AreUtcCalendarDatesWithFractionalSeconds) {
    HostArray epoch = createTimeArray(0.0);
    ASSERT_EQ(haGetDimensions(epoch)[0], 1);
    ASSERT_EQ(haGetDimensions(epoch)[1], 6);
    const double expectedEpoch[6] = {1970, 1, 1, 0, 0, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(element(epoch, i), expectedEpoch[i]) << i;
    haFree(epoch);

    // 2024-02-29 13:45:30.25 UTC is 1709214330.25 s.
    HostArray leap = createTimeArray(1709214330.25);
    const double expectedLeap[6] = {2024, 2, 29, 13, 45, 30.25};
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(element(leap, i), expectedLeap[i]) << i;
    haFree(leap);

    // Before 1970: 1969-12-31 23:59:59.5.
    HostArray before = createTimeArray(-0.5);
    const double expectedBefore[6] = {1969, 12, 31, 23, 59, 59.5};
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(element(before, i), expectedBefore[i]) << i;
    haFree(before);

    HostArray nan = createTimeArray(std::nan(""));
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(std::isnan(element(nan, i)));
    haFree(nan);
}

TEST(CriticalSections, TheHolderMayEnterAgainWhileOthersWait) {
    bex::BXCriticalSection section;
    std::atomic<bool> otherEntered{false};
    {
        bex::BXAutoCriticalSection outer(section, true);
        bex::BXAutoCriticalSection inner(section, true);  // same thread: no deadlock
        std::thread other([&] {
            bex::BXAutoCriticalSection guard(section, true);
            otherEntered = true;
            guard.leave();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(otherEntered);
        inner.leave();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(otherEntered);  // still held once
        outer.leave();
        other.join();
    }
    EXPECT_TRUE(otherEntered);
}

TEST(CriticalSections, AScopeLeftByAnExceptionReleasesTheSection) {
    bex::BXCriticalSection section;
    try {
        bex::BXAutoCriticalSection guard(section, true);
        throw std::runtime_error("passing through");
    } catch (const std::runtime_error&) {
    }
    bool entered = false;
    std::thread other([&] {
        bex::BXAutoCriticalSection guard(section, true);
        entered = true;
        guard.leave();
        guard.leave();  // a second leave does nothing
    });
    other.join();
    EXPECT_TRUE(entered);
}

TEST(HostArrays, AnArrayThatCannotBeHadIsNullAndLeavesNothing) {
    // 2^64 elements: a product left to wrap would ask for an empty block.
    const int huge[4] = {65536, 65536, 65536, 65536};
    EXPECT_EQ(haCreateNumericArray(4, huge, haUint8Class, 0), nullptr);
    const int wide[3] = {2147483647, 2147483647, 3};
    EXPECT_EQ(haCreateNumericArray(3, wide, haUint32Class, 0), nullptr);
    if (sizeof(size_t) == 4) {
        // The RGB array of a 46341 x 46341 frame: 6.4 G bytes, a product that wraps 32 bits.
        const int rgb[3] = {46341, 46341, 3};
        EXPECT_EQ(haCreateNumericArray(3, rgb, haUint8Class, 0), nullptr);
    }
    const int empty[3] = {2147483647, 0, 2147483647};
    HostArray none = haCreateNumericArray(3, empty, haUint8Class, 0);
    EXPECT_EQ(haGetNumberOfElements(none), 0u);
    haFree(none);
    // A refused array leaves nothing behind, and the next one is made.
    const long live = haTestLiveArrays();
    const int shape[5] = {1, 2, 3, 4, 5};
    haTestFailCreation(1);
    EXPECT_EQ(haCreateNumericArray(5, shape, haUint8Class, 0), nullptr);
    EXPECT_EQ(haTestLiveArrays(), live);
    HostArray made = haCreateNumericArray(5, shape, haUint8Class, 0);
    EXPECT_EQ(haGetNumberOfDimensions(made), 5);
    EXPECT_EQ(haTestLiveArrays(), live + 1);
    haFree(made);
    EXPECT_EQ(haTestLiveArrays(), live);
}

}  // namespace

// Metadata items and each frame's table of named items.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <limits>
#include <string>
#include <vector>

#include "bexcore.h"
#include "metadata/MetaDataItem.h"
#include "test_frame.h"

using zorvframekit::CStrMetaDataItem;
using zorvframekit::DoubleMetaDataItem;
using zorvframekit::TimeVectorMetaDataItem;

namespace {

std::vector<std::string> namesOf(IFrame& frame) {
    std::vector<const char*> names(static_cast<size_t>(frame.getMetaDataCount()) + 1, nullptr);
    frame.getMetaDataNames(names.data());
    EXPECT_EQ(names.back(), nullptr);  // exactly getMetaDataCount() pointers, no terminator
    return std::vector<std::string>(names.begin(), names.end() - 1);
}

std::string textOf(HostArray value) {
    std::string text = value ? haGetChars(value) : "<null>";
    haFree(value);
    return text;
}

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(MetaDataItems, DoubleAndTimeItemsKeepTheirValuesBitForBit) {
    for (double value : {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity(), -0.0,
                         1.0 / 3.0}) {
        DoubleMetaDataItem item(value);
        HostArray host = item.getHostValue();
        EXPECT_EQ(bitsOf(haGetScalar(host)), bitsOf(value));
        haFree(host);
    }
    TimeVectorMetaDataItem time(86400.5);  // 1970-01-02 00:00:00.5
    HostArray vector = time.getHostValue();
    HostArray expected = createTimeArray(86400.5);
    ASSERT_EQ(haGetNumberOfElements(vector), 6u);
    EXPECT_EQ(std::memcmp(haGetData(vector), haGetData(expected), 6 * sizeof(double)), 0);
    haFree(vector);
    haFree(expected);
}

TEST(MetaDataItems, TextItemsKeepTheirOwnCopyAndMakeANewValueEachTime) {
    char text[] = "camera 1";
    std::unique_ptr<CStrMetaDataItem> item(CStrMetaDataItem::create(text));
    std::strcpy(text, "changed");
    HostArray first = item->getHostValue();
    HostArray second = item->getHostValue();
    EXPECT_NE(first, second);
    EXPECT_STREQ(haGetChars(first), "camera 1");
    EXPECT_STREQ(haGetChars(second), "camera 1");
    haFree(first);
    haFree(second);
    std::unique_ptr<CStrMetaDataItem> empty(CStrMetaDataItem::create(""));
    EXPECT_EQ(textOf(empty->getHostValue()), "");
}

TEST(MetaDataTable, AFreshFrameHasNoEntries) {
    TestFrame frame(1, 1);
    EXPECT_EQ(frame.getMetaDataCount(), 0);
    EXPECT_TRUE(namesOf(frame).empty());
    EXPECT_EQ(frame.getMetaData("gain"), nullptr);
}

TEST(MetaDataTable, NamesComeInByteOrder) {
    TestFrame frame(1, 1);
    frame.addDoubleMetaData("b", 1);
    frame.addDoubleMetaData("a", 2);
    frame.addDoubleMetaData("B", 3);
    frame.addDoubleMetaData("exposure", 4);
    frame.addDoubleMetaData("exp", 5);
    frame.addDoubleMetaData("\xC3\xA9t\xC3\xA9", 6);  // bytes above 0x7F sort after ASCII
    EXPECT_EQ(namesOf(frame), (std::vector<std::string>{"B", "a", "b", "exp", "exposure", "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(frame.getMetaDataCount(), 6);
}

TEST(MetaDataTable, AddingANameAgainReplacesTheValueInPlace) {
    TestFrame frame(1, 1);
    frame.addDoubleMetaData("gain", 1.5);
    frame.addDoubleMetaData("zoom", 2.0);
    const char* names[2];
    frame.getMetaDataNames(names);
    const char* gainKey = names[0];
    frame.addCStrMetaData("gain", "auto");
    EXPECT_EQ(frame.getMetaDataCount(), 2);
    frame.getMetaDataNames(names);
    EXPECT_EQ(names[0], gainKey);  // the key, and pointers to it, stay
    EXPECT_EQ(textOf(frame.getMetaData("gain")), "auto");
    frame.addTimeVectorMetaData("gain", 0.0);
    HostArray vector = frame.getMetaData("gain");
    EXPECT_EQ(haGetNumberOfElements(vector), 6u);
    haFree(vector);
}

TEST(MetaDataTable, LookupIsExactAndEachAnswerIsNew) {
    TestFrame frame(1, 1);
    frame.addDoubleMetaData("gain", 2.5);
    EXPECT_EQ(frame.getMetaData("Gain"), nullptr);
    EXPECT_EQ(frame.getMetaData("gai"), nullptr);
    EXPECT_EQ(frame.getMetaData("gain "), nullptr);
    HostArray first = frame.getMetaData("gain");
    HostArray second = frame.getMetaData("gain");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(haGetScalar(first), 2.5);
    EXPECT_EQ(haGetScalar(second), 2.5);
    haFree(first);
    haFree(second);
}

TEST(MetaDataTable, TextsAndNamesAreCopied) {
    TestFrame frame(1, 1);
    char name[] = "model";
    char text[] = "ZV-100";
    frame.addCStrMetaData(name, text);
    std::strcpy(name, "xxxxx");
    std::strcpy(text, "broken");
    EXPECT_EQ(textOf(frame.getMetaData("model")), "ZV-100");
    EXPECT_EQ(namesOf(frame), (std::vector<std::string>{"model"}));
}

TEST(MetaDataTable, NullNamesAndTextsAreIgnored) {
    TestFrame frame(1, 1);
    frame.addCStrMetaData(nullptr, "text");
    frame.addCStrMetaData("name", nullptr);
    frame.addDoubleMetaData(nullptr, 1.0);
    frame.addTimeVectorMetaData(nullptr, 1.0);
    EXPECT_EQ(frame.getMetaDataCount(), 0);
    EXPECT_EQ(frame.getMetaData(nullptr), nullptr);
    frame.addCStrMetaData("", "empty name is a name");
    EXPECT_EQ(textOf(frame.getMetaData("")), "empty name is a name");
}

TEST(MetaDataTable, EntriesStayWithTheFrameThroughItsPool) {
    RecordingPool pool;
    auto* frame = new TestFrame(1, 1);
    frame->setOwnerPool(&pool);
    frame->addDoubleMetaData("exposure", 0.01);
    frame->release();
    ASSERT_EQ(pool.returned.size(), 1u);
    HostArray value = pool.returned[0]->getMetaData("exposure");
    EXPECT_EQ(haGetScalar(value), 0.01);
    haFree(value);
}

}  // namespace

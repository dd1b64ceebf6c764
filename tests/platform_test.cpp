// The platform layer gives the same thread, message, memory and clock behaviour on every system.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <vector>

#include "platform/platform.h"

namespace platform = zorvframekit::platform;

namespace {

struct Inbox {
    std::atomic<platform::ThreadId> seenId{0};
    std::atomic<bool> queueReady{false};
    std::vector<platform::Message> received;  // read after the thread has ended
    int lastResult = 1;
};

unsigned collectUntilQuit(void* argument) {
    Inbox& inbox = *static_cast<Inbox*>(argument);
    inbox.seenId = platform::currentThreadId();
    platform::Message message;
    while ((inbox.lastResult = platform::waitMessage(&message)) > 0) inbox.received.push_back(message);
    return 0;
}

bool postUntilAccepted(platform::ThreadId id, unsigned message, uintptr_t w, intptr_t l) {
    for (int attempt = 0; attempt < 5000; ++attempt) {
        if (platform::postThreadMessage(id, message, w, l)) return true;
        platform::sleepMs(1);
    }
    return false;
}

TEST(PlatformThreads, MessagesArriveInOrderAndQuitEndsTheLoop) {
    Inbox inbox;
    platform::ThreadId id = 0;
    platform::ThreadHandle thread = platform::startThread(collectUntilQuit, &inbox, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(id, 0u);

    ASSERT_TRUE(postUntilAccepted(id, platform::kMessageUser, 3, 5));
    EXPECT_TRUE(platform::postThreadMessage(id, platform::kMessageUser + 1, 0, 0));
    EXPECT_TRUE(platform::postThreadMessage(id, 0x7777, 1, -1));
    EXPECT_TRUE(platform::postThreadMessage(id, platform::kMessageQuit, 0, 0));
    EXPECT_TRUE(platform::waitThread(thread, 10000));
    platform::closeThread(thread);

    EXPECT_EQ(inbox.seenId.load(), id);
    EXPECT_EQ(inbox.lastResult, 0);
    ASSERT_EQ(inbox.received.size(), 3u);
    EXPECT_EQ(inbox.received[0].message, platform::kMessageUser);
    EXPECT_EQ(inbox.received[0].wParam, 3u);
    EXPECT_EQ(inbox.received[0].lParam, 5);
    EXPECT_EQ(inbox.received[1].message, platform::kMessageUser + 1);
    EXPECT_EQ(inbox.received[2].message, 0x7777u);
    EXPECT_EQ(inbox.received[2].lParam, -1);
}

unsigned waitForGo(void* argument) {
    auto& go = *static_cast<std::atomic<bool>*>(argument);
    while (!go) platform::sleepMs(1);
    return 0;
}

TEST(PlatformThreads, PostsFailUntilTheThreadHasAQueue) {
    std::atomic<bool> go{false};
    platform::ThreadId id = 0;
    platform::ThreadHandle thread = platform::startThread(waitForGo, &go, &id);
    ASSERT_NE(thread, nullptr);
    // This thread never waits for a message, so it never gets a queue.
    EXPECT_FALSE(platform::postThreadMessage(id, platform::kMessageUser, 0, 0));
    go = true;
    EXPECT_TRUE(platform::waitThread(thread, 10000));
    platform::closeThread(thread);
    EXPECT_FALSE(platform::postThreadMessage(id, platform::kMessageUser, 0, 0));
}

TEST(PlatformThreads, AQueueMadeAheadAcceptsPostsAtOnce) {
    platform::createMessageQueue();
    const platform::ThreadId self = platform::currentThreadId();
    ASSERT_TRUE(platform::postThreadMessage(self, platform::kMessageUser, 9, 0));
    platform::Message message;
    EXPECT_EQ(platform::waitMessage(&message), 1);
    EXPECT_EQ(message.wParam, 9u);
    ASSERT_TRUE(platform::postThreadMessage(self, platform::kMessageQuit, 0, 0));
    EXPECT_EQ(platform::waitMessage(&message), 0);
}

unsigned sleepLong(void*) {
    platform::sleepMs(300);
    return 0;
}

TEST(PlatformThreads, WaitingTimesOutOnARunningThreadAndClosingLetsItFinish) {
    platform::ThreadId id = 0;
    platform::ThreadHandle thread = platform::startThread(sleepLong, nullptr, &id);
    ASSERT_NE(thread, nullptr);
    const uint32_t before = platform::tickCount();
    EXPECT_FALSE(platform::waitThread(thread, 50));
    EXPECT_GE(static_cast<uint32_t>(platform::tickCount() - before), 40u);
    EXPECT_TRUE(platform::waitThread(thread, 10000));
    platform::closeThread(thread);

    // Closing the handle of a thread that still runs does not stop or wait for it.
    platform::ThreadHandle detached = platform::startThread(sleepLong, nullptr, &id);
    ASSERT_NE(detached, nullptr);
    platform::closeThread(detached);
    platform::sleepMs(400);
}

TEST(PlatformClocks, TickCounterAdvancesInMillisecondsAndWallClockIsNow) {
    const uint32_t start = platform::tickCount();
    platform::sleepMs(100);
    const uint32_t elapsed = platform::tickCount() - start;  // modular: right across a wrap too
    EXPECT_GE(elapsed, 90u);
    EXPECT_LT(elapsed, 5000u);

    // time() may read a coarser clock than wallClock (glibc's lags by up to a tick), so the two can
    // disagree by one second across a second's edge; a second's slack either side still catches a
    // wrong epoch or unit.
    int64_t seconds = 0;
    int milliseconds = -1;
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    platform::wallClock(&seconds, &milliseconds);
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(seconds, before - 1);
    EXPECT_LE(seconds, after + 1);
    EXPECT_GE(milliseconds, 0);
    EXPECT_LE(milliseconds, 999);
}

TEST(PlatformMemory, AvailableMemoryIsReportedAndCanBeOverridden) {
    EXPECT_GT(platform::availablePhysicalMemory(), 0u);
    const uint64_t pretend = 123456789;
    platform::overrideAvailablePhysicalMemory(&pretend);
    EXPECT_EQ(platform::availablePhysicalMemory(), pretend);
    platform::overrideAvailablePhysicalMemory(nullptr);
    EXPECT_NE(platform::availablePhysicalMemory(), pretend);
}

}  // namespace

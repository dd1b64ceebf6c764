// Platform layer on Win32: the real kernel, message-queue and multimedia-timer calls.
#include "platform.h"

#include <windows.h>
#include <mmsystem.h>

namespace zorvframekit {
namespace platform {

namespace {

struct ThreadStart {
    ThreadMain main;
    void* argument;
};

DWORD WINAPI threadTrampoline(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    freeMemory(parameter);
    return start.main(start.argument);
}

}  // namespace

ThreadHandle startThread(ThreadMain main, void* argument, ThreadId* id) {
    *id = 0;
    if (attemptFails(FailureSite::ThreadStart)) return nullptr;
    ThreadStart* start = static_cast<ThreadStart*>(allocateMemory(sizeof(ThreadStart)));
    if (start == nullptr) return nullptr;
    start->main = main;
    start->argument = argument;
    DWORD threadId = 0;
    // Suspended first, so that the caller has the id before the thread can post or be posted to.
    HANDLE thread = CreateThread(nullptr, 0, threadTrampoline, start, CREATE_SUSPENDED, &threadId);
    if (thread == nullptr) {
        freeMemory(start);
        return nullptr;
    }
    *id = threadId;
    ResumeThread(thread);
    return thread;
}

bool systemPostThreadMessage(ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return PostThreadMessageA(id, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
}

void createMessageQueue() {
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

int systemWaitMessage(Message* message) {
    MSG msg;
    BOOL result = GetMessageA(&msg, nullptr, 0, 0);
    if (result == -1) return -1;
    message->message = msg.message;
    message->wParam = msg.wParam;
    message->lParam = msg.lParam;
    return result == 0 ? 0 : 1;
}

WaitResult waitForThread(ThreadHandle thread, uint32_t timeoutMs) {
    if (attemptFails(FailureSite::ThreadWait)) return WaitResult::Failed;
    switch (WaitForSingleObject(static_cast<HANDLE>(thread), timeoutMs)) {
    case WAIT_OBJECT_0:
        return WaitResult::Ended;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

void closeThread(ThreadHandle thread) { CloseHandle(static_cast<HANDLE>(thread)); }

ThreadId currentThreadId() { return GetCurrentThreadId(); }

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

uint64_t systemAvailablePhysicalMemory() {
    MEMORYSTATUS status;
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return status.dwAvailPhys;
}

uint32_t tickCount() { return timeGetTime(); }

void wallClock(int64_t* seconds, int* milliseconds) {
    // The system's own clock, which asks for nothing: the C runtime's _ftime gives the same UTC
    // time but sets up a lock from the heap on its first call, and fails where memory has run out.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;  // 100 ns since 1601
    const uint64_t since1970 = ticks - 116444736000000000ull;
    *seconds = static_cast<int64_t>(since1970 / 10000000u);
    *milliseconds = static_cast<int>(since1970 / 10000u % 1000u);
}

}  // namespace platform
}  // namespace zorvframekit

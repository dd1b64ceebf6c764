// The host's support library: the lock classes frames and pools use, and time vectors.
#ifndef ZORVFRAMEKIT_HOST_BEXCORE_H
#define ZORVFRAMEKIT_HOST_BEXCORE_H

#include "ha.h"

#if defined(_WIN32)
#if defined(BEXCORE_BUILDING)
#define BEXCORE_API __declspec(dllexport)
#else
#define BEXCORE_API __declspec(dllimport)
#endif
#else
#define BEXCORE_API __attribute__((visibility("default")))
#endif

namespace bex {

// A re-entrant lock: the thread that holds it may enter again; any other thread waits. A Win32
// critical section on Windows, a recursive mutex elsewhere. Entered and left through
// BXAutoCriticalSection only.
class BEXCORE_API BXCriticalSection {
public:
    BXCriticalSection();
    virtual ~BXCriticalSection();
    void enter();
    void leave();

private:
    BXCriticalSection(const BXCriticalSection&);
    BXCriticalSection& operator=(const BXCriticalSection&);
    void* section;
};

// Scoped lock. Callers leave() explicitly on the normal path; the destructor leaves the section only
// if it is still held, which happens when an exception passes through the scope.
class BEXCORE_API BXAutoCriticalSection {
public:
    BXAutoCriticalSection(BXCriticalSection& section, bool enter);
    virtual ~BXAutoCriticalSection();
    virtual void leave();

private:
    BXAutoCriticalSection(const BXAutoCriticalSection&);
    BXAutoCriticalSection& operator=(const BXAutoCriticalSection&);
    BXCriticalSection& section;
    bool held;
};

}  // namespace bex

// The time vector of a time value given in seconds since 1970-01-01 00:00:00 UTC: a 1 x 6 double
// array {year, month (1-12), day (1-31), hour, minute, seconds with fraction}, in UTC, in the
// proleptic Gregorian calendar. A value that is not finite gives six NaNs.
extern "C" BEXCORE_API HostArray createTimeArray(double time);

#endif  // ZORVFRAMEKIT_HOST_BEXCORE_H

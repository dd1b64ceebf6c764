// The host's support library: the lock classes frames and pools use, and time vectors.
#ifndef ZORVFRAMEKIT_HOST_BEXCORE_H
#define ZORVFRAMEKIT_HOST_BEXCORE_H

#include "ha.h"
#include "msvcabi.h"

#if defined(_WIN32)
#if defined(BEXCORE_BUILDING)
#define BEXCORE_API __declspec(dllexport)
#else
#define BEXCORE_API __declspec(dllimport)
#endif
#else
#define BEXCORE_API __attribute__((visibility("default")))
#endif

#if defined(ZFK_MSVC_ABI)
// The host's bexcore is built by the platform compiler, so its classes have that compiler's layout
// (a table pointer first) and their operations are reached by its decorated names. The frames and
// pools embed the objects, so the sizes here are the host's.
namespace bex {

class BXCriticalSection;
class BXAutoCriticalSection;
struct BXAccess;  // the stand-in's way into the fields

extern "C" {
void* ZFK_THISCALL bexConstructCriticalSection(BXCriticalSection* self)
    ZFK_MSVC_NAME("??0BXCriticalSection@bex@@QAE@XZ");
void ZFK_THISCALL bexDestroyCriticalSection(BXCriticalSection* self)
    ZFK_MSVC_NAME("??1BXCriticalSection@bex@@UAE@XZ");
void* ZFK_THISCALL bexConstructAutoCriticalSection(BXAutoCriticalSection* self, BXCriticalSection* section,
                                                   bool enter)
    ZFK_MSVC_NAME("??0BXAutoCriticalSection@bex@@QAE@AAVBXCriticalSection@1@_N@Z");
void ZFK_THISCALL bexDestroyAutoCriticalSection(BXAutoCriticalSection* self)
    ZFK_MSVC_NAME("??1BXAutoCriticalSection@bex@@UAE@XZ");
void ZFK_THISCALL bexLeaveAutoCriticalSection(BXAutoCriticalSection* self)
    ZFK_MSVC_NAME("?leave@BXAutoCriticalSection@bex@@UAEXXZ");
}

// A re-entrant lock: one Win32 critical section. Entered and left through BXAutoCriticalSection only.
class BXCriticalSection {
public:
    BXCriticalSection() { bexConstructCriticalSection(this); }
    ~BXCriticalSection() { bexDestroyCriticalSection(this); }

private:
    friend struct BXAccess;
    BXCriticalSection(const BXCriticalSection&);
    BXCriticalSection& operator=(const BXCriticalSection&);
    const void* table;
    void* section[6];  // a CRITICAL_SECTION
};

// Scoped lock. Callers leave() explicitly on the normal path; the destructor leaves the section only
// if it is still held, which happens when an exception passes through the scope.
class BXAutoCriticalSection {
public:
    BXAutoCriticalSection(BXCriticalSection& section, bool enter) {
        bexConstructAutoCriticalSection(this, &section, enter);
    }
    ~BXAutoCriticalSection() { bexDestroyAutoCriticalSection(this); }
    void leave() { bexLeaveAutoCriticalSection(this); }

private:
    friend struct BXAccess;
    BXAutoCriticalSection(const BXAutoCriticalSection&);
    BXAutoCriticalSection& operator=(const BXAutoCriticalSection&);
    const void* table;
    BXCriticalSection* section;
    bool held;
};

static_assert(sizeof(BXCriticalSection) == 28, "a table pointer and one CRITICAL_SECTION");
static_assert(sizeof(BXAutoCriticalSection) == 12, "a table pointer, the section, the held flag");

}  // namespace bex
#else
namespace bex {

// A re-entrant lock: the thread that holds it may enter again; any other thread waits. Entered and
// left through BXAutoCriticalSection only.
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
#endif

// The time vector of a time value given in seconds since 1970-01-01 00:00:00 UTC: a 1 x 6 double
// array {year, month (1-12), day (1-31), hour, minute, seconds with fraction}, in UTC, in the
// proleptic Gregorian calendar. A value that is not finite gives six NaNs.
extern "C" BEXCORE_API HostArray createTimeArray(double time);

#endif  // ZORVFRAMEKIT_HOST_BEXCORE_H

// Our stand-in for the host's support library.
#include "bexcore.h"

#include <cmath>
#include <cstdint>
#include <limits>

#if defined(ZFK_MSVC_ABI)
#include <windows.h>

#include <new>
#else
#include <mutex>
#endif

#if defined(ZFK_MSVC_ABI)
// The objects as the platform compiler lays them out, with its virtual tables (without the run-time
// type information that would stand before them: nobody asks a lock for its type).
namespace bex {

struct BXAccess {
    static CRITICAL_SECTION* section(BXCriticalSection* lock) {
        static_assert(sizeof lock->section == sizeof(CRITICAL_SECTION), "room for one CRITICAL_SECTION");
        return reinterpret_cast<CRITICAL_SECTION*>(lock->section);
    }
    static const void*& table(BXCriticalSection* lock) { return lock->table; }
    static const void*& table(BXAutoCriticalSection* guard) { return guard->table; }
    static BXCriticalSection*& section(BXAutoCriticalSection* guard) { return guard->section; }
    static bool& held(BXAutoCriticalSection* guard) { return guard->held; }
};

}  // namespace bex

using bex::BXAccess;
using bex::BXAutoCriticalSection;
using bex::BXCriticalSection;

namespace {

void* ZFK_THISCALL deleteCriticalSection(BXCriticalSection* self, unsigned int flags) {
    self->~BXCriticalSection();
    if (flags & 1) ::operator delete(self);
    return self;
}

void* ZFK_THISCALL deleteAutoCriticalSection(BXAutoCriticalSection* self, unsigned int flags) {
    self->~BXAutoCriticalSection();
    if (flags & 1) ::operator delete(self);
    return self;
}

struct CriticalSectionTable {
    void* (ZFK_THISCALL* scalarDeletingDestructor)(BXCriticalSection*, unsigned int);
};
struct AutoCriticalSectionTable {
    void* (ZFK_THISCALL* scalarDeletingDestructor)(BXAutoCriticalSection*, unsigned int);
    void (ZFK_THISCALL* leave)(BXAutoCriticalSection*);
};

const CriticalSectionTable kCriticalSectionTable = {deleteCriticalSection};
const AutoCriticalSectionTable kAutoCriticalSectionTable = {deleteAutoCriticalSection,
                                                            bex::bexLeaveAutoCriticalSection};

}  // namespace

ZFK_MSVC_EXPORT("??0BXCriticalSection@bex@@QAE@XZ");
ZFK_MSVC_EXPORT("??1BXCriticalSection@bex@@UAE@XZ");
ZFK_MSVC_EXPORT("??0BXAutoCriticalSection@bex@@QAE@AAVBXCriticalSection@1@_N@Z");
ZFK_MSVC_EXPORT("??1BXAutoCriticalSection@bex@@UAE@XZ");
ZFK_MSVC_EXPORT("?leave@BXAutoCriticalSection@bex@@UAEXXZ");

namespace bex {

void* ZFK_THISCALL bexConstructCriticalSection(BXCriticalSection* self) {
    BXAccess::table(self) = &kCriticalSectionTable;
    InitializeCriticalSection(BXAccess::section(self));
    return self;
}

void ZFK_THISCALL bexDestroyCriticalSection(BXCriticalSection* self) { DeleteCriticalSection(BXAccess::section(self)); }

void* ZFK_THISCALL bexConstructAutoCriticalSection(BXAutoCriticalSection* self, BXCriticalSection* section, bool enter) {
    BXAccess::table(self) = &kAutoCriticalSectionTable;
    BXAccess::section(self) = section;
    BXAccess::held(self) = false;
    if (enter) {
        EnterCriticalSection(BXAccess::section(section));
        BXAccess::held(self) = true;
    }
    return self;
}

void ZFK_THISCALL bexDestroyAutoCriticalSection(BXAutoCriticalSection* self) { bexLeaveAutoCriticalSection(self); }

void ZFK_THISCALL bexLeaveAutoCriticalSection(BXAutoCriticalSection* self) {
    if (!BXAccess::held(self)) return;
    BXAccess::held(self) = false;
    LeaveCriticalSection(BXAccess::section(BXAccess::section(self)));
}

}  // namespace bex
#else
namespace bex {

BXCriticalSection::BXCriticalSection() : section(new std::recursive_mutex) {}
BXCriticalSection::~BXCriticalSection() { delete static_cast<std::recursive_mutex*>(section); }
void BXCriticalSection::enter() { static_cast<std::recursive_mutex*>(section)->lock(); }
void BXCriticalSection::leave() { static_cast<std::recursive_mutex*>(section)->unlock(); }

BXAutoCriticalSection::BXAutoCriticalSection(BXCriticalSection& section, bool enter)
    : section(section), held(false) {
    if (enter) {
        section.enter();
        held = true;
    }
}

BXAutoCriticalSection::~BXAutoCriticalSection() {
    if (held) section.leave();
}

void BXAutoCriticalSection::leave() {
    if (!held) return;
    held = false;
    section.leave();
}

}  // namespace bex
#endif

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's civil_from_days).
void civilFromDays(int64_t days, int64_t& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

extern "C" HostArray createTimeArray(double time) {
    HostArray array = haCreateNumericMatrix(1, 6, haDoubleClass, 0);
    if (array == nullptr) return nullptr;
    double* vector = static_cast<double*>(haGetData(array));
    // Beyond about 2.9e11 years the day count no longer fits in 64 bits.
    if (!std::isfinite(time) || std::fabs(time) > 9.0e18) {
        for (int i = 0; i < 6; ++i) vector[i] = std::numeric_limits<double>::quiet_NaN();
        return array;
    }
    double wholeDays = std::floor(time / 86400.0);
    double secondsOfDay = time - wholeDays * 86400.0;
    // Rounding can land a hair outside [0, 86400) for values just either side of midnight.
    if (secondsOfDay < 0.0) secondsOfDay = 0.0;
    if (secondsOfDay >= 86400.0) {
        secondsOfDay -= 86400.0;
        wholeDays += 1.0;
    }
    int64_t year = 0;
    int month = 0, day = 0;
    civilFromDays(static_cast<int64_t>(wholeDays), year, month, day);
    const double hour = std::floor(secondsOfDay / 3600.0);
    const double minute = std::floor((secondsOfDay - hour * 3600.0) / 60.0);
    vector[0] = static_cast<double>(year);
    vector[1] = month;
    vector[2] = day;
    vector[3] = hour;
    vector[4] = minute;
    vector[5] = secondsOfDay - hour * 3600.0 - minute * 60.0;
    return array;
}

// An engine, built as engine.cpp is, that runs its process out of memory: every free region of the
// address space reserved, every heap and msvcrt's malloc emptied down to 1-byte blocks. It then calls,
// one at a time, each operation of the DLL that needs memory. None may end the process: each works or
// fails the interface's own way (a null result, nothing copied, a value not added, a frame its pool
// cannot keep deleted and credited, pooling left off). Then everything is given back, and frames,
// conversions, metadata and pools must work again, with the limiter back at 0.
//
// An operation that ends the process is named on the way out: exit code 70 for an unhandled
// exception (a fault, a stack overflow), 71 for abort (std::terminate, an exception nobody caught).
// `oom_engine.exe NAME` calls only the operation NAME, to see past the first one that ends it.
#include "freestanding.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::kColorSpaceRGB;
using zorvframekit::MemoryLimiter;

namespace {

// What is being called, for the message of a process that ends.
const char* volatile calling = "setting up";

long __stdcall onUnhandledException(ExceptionPointers* info) {
    const unsigned long code = info->record[0];
    write("\nENDED: unhandled exception ");
    writeHex(code);
    write(code == 0xC00000FDul ? " (stack overflow)" : code == 0xC0000005ul ? " (access violation)" : "");
    write(" while calling ");
    write(calling);
    write("\n");
    // At once: Wine would start its debugger, which waits for ever.
    TerminateProcess(GetCurrentProcess(), 70);
    return 1;
}

void __cdecl onAbort(int) {
    write("\nENDED: abort (std::terminate: an exception left the DLL) while calling ");
    write(calling);
    write("\n");
    TerminateProcess(GetCurrentProcess(), 71);
}

// ---- Running out of memory ----
// What was taken is recorded in static storage, reserved with the image: once memory is gone there
// is nowhere else to keep it.

const unsigned long kMemReserve = 0x2000, kMemRelease = 0x8000, kMemFree = 0x10000, kPageNoAccess = 1;
const size_t kGranularity = 0x10000;  // where a reservation may start

struct Reservation {
    void* base;
    size_t size;
};
Reservation reservations[16384];
int reservationCount = 0;
size_t reservedBytes = 0;

typedef void*(__cdecl* Malloc)(size_t);
typedef void(__cdecl* Free)(void*);
typedef void(__cdecl* SignalHandler)(int);
typedef SignalHandler(__cdecl* Signal)(int, SignalHandler);
Malloc crtMalloc = nullptr;
Free crtFree = nullptr;

// A heap of the process, or (heap null) msvcrt's malloc, which the DLL's runtime allocates from.
struct Source {
    void* heap;
    void* chain;  // the blocks of a pointer or more, each holding the address of the one taken before
    unsigned long blocks;
    size_t bytes;
    size_t smallest;  // of the blocks taken
};
Source sources[65];
int sourceCount = 0;
struct Tiny {  // blocks too small to hold a pointer
    void* block;
    int source;
};
Tiny tinyBlocks[4096];
int tinyCount = 0;

void* take(const Source& source, size_t size) {
    return source.heap != nullptr ? HeapAlloc(source.heap, 0, size) : crtMalloc(size);
}

void giveBack(const Source& source, void* block) {
    if (source.heap != nullptr)
        HeapFree(source.heap, 0, block);
    else
        crtFree(block);
}

bool keep(int index, void* block, size_t size) {
    Source& source = sources[index];
    if (size >= sizeof(void*)) {
        *static_cast<void**>(block) = source.chain;
        source.chain = block;
    } else if (tinyCount < static_cast<int>(sizeof tinyBlocks / sizeof tinyBlocks[0])) {
        tinyBlocks[tinyCount++] = Tiny{block, index};
    } else {
        giveBack(source, block);
        return false;
    }
    ++source.blocks;
    source.bytes += size;
    if (source.smallest == 0 || size < source.smallest) source.smallest = size;
    return true;
}

// From 1 MB down, in eighths, then in steps of 8 bytes below 1 KB (the heaps' size classes), then
// byte by byte below 8.
const size_t kLargestBlock = 1 << 20;
size_t smallerBlock(size_t size) {
    if (size > 1024) return (size - size / 8) & ~size_t(7);
    return size > 8 ? size - 8 : size - 1;
}

// Takes every block of every size the source still gives, again until a whole pass takes nothing:
// a size class whose blocks ran out can leave others with room.
void drain(int index) {
    for (bool took = true; took;) {
        took = false;
        for (size_t size = kLargestBlock; size > 0; size = smallerBlock(size))
            while (void* block = take(sources[index], size)) {
                if (!keep(index, block, size)) break;
                took = true;
            }
    }
}

bool record(void* base, size_t size) {
    if (reservationCount == static_cast<int>(sizeof reservations / sizeof reservations[0])) return false;
    reservations[reservationCount++] = Reservation{base, size};
    reservedBytes += size;
    return true;
}

void reserveFreeRegions() {
    MemoryBasicInformation info;
    // The first 64 KB are never handed out, and a reservation at 0 would mean "anywhere".
    size_t at = kGranularity;
    while (VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) == sizeof info) {
        const size_t base = reinterpret_cast<size_t>(info.baseAddress), end = base + info.regionSize;
        const size_t from = (base + kGranularity - 1) & ~(kGranularity - 1);
        if (info.state == kMemFree && from < end)
            if (void* got = VirtualAlloc(reinterpret_cast<void*>(from), end - from, kMemReserve, kPageNoAccess))
                if (!record(got, end - from)) VirtualFree(got, 0, kMemRelease);
        if (end <= at) break;  // the top of the address space
        at = end;
    }
}

// Under Wine, address space that no mapping of its own has taken is shown as reserved, not free,
// and is handed out all the same: what is left goes too, wherever the system puts it, in halving
// sizes down to the smallest a reservation can be.
void reserveAnywhere() {
    for (size_t size = size_t(1) << 30; size >= kGranularity; size /= 2)
        while (void* got = VirtualAlloc(nullptr, size, kMemReserve, kPageNoAccess))
            if (!record(got, size)) {
                VirtualFree(got, 0, kMemRelease);
                break;
            }
}

void addSource(void* heap) {
    for (int i = 0; i < sourceCount; ++i)
        if (sources[i].heap == heap) return;
    if (sourceCount < static_cast<int>(sizeof sources / sizeof sources[0]))
        sources[sourceCount++] = Source{heap, nullptr, 0, 0, 0};
}

// Takes whatever memory has come free since the last time (or all of it, the first time).
void exhaust() {
    reserveFreeRegions();
    reserveAnywhere();
    void* heaps[64];
    unsigned long heapCount = GetProcessHeaps(64, heaps);
    if (heapCount > 64) heapCount = 64;
    addSource(nullptr);  // msvcrt's malloc, first
    for (unsigned long i = 0; i < heapCount; ++i) addSource(heaps[i]);
    for (int i = 0; i < sourceCount; ++i) drain(i);
    // The operations below prove nothing unless not a byte more can be had.
    void* region = VirtualAlloc(nullptr, kGranularity, kMemReserve, kPageNoAccess);
    CHECK(region == nullptr);
    if (region != nullptr && !record(region, kGranularity)) VirtualFree(region, 0, kMemRelease);
    for (int i = 0; i < sourceCount; ++i) {
        void* block = take(sources[i], 1);
        CHECK(block == nullptr);
        if (block != nullptr) keep(i, block, 1);
    }
}

void reportExhaustion() {
    write("out of memory: ");
    writeNumber(static_cast<long>(reservedBytes >> 10));
    write(" KB of address space reserved in ");
    writeNumber(reservationCount);
    write(" regions\n");
    for (int i = 0; i < sourceCount; ++i) {
        write(sources[i].heap == nullptr ? "  msvcrt malloc: " : "  heap ");
        if (sources[i].heap != nullptr) {
            writeHex(reinterpret_cast<unsigned long>(sources[i].heap));
            write(": ");
        }
        writeNumber(static_cast<long>(sources[i].blocks));
        write(" blocks, ");
        writeNumber(static_cast<long>(sources[i].bytes));
        write(" bytes, the smallest ");
        writeNumber(static_cast<long>(sources[i].smallest));
        write("\n");
    }
    write("  blocks under 4 bytes: ");
    writeNumber(tinyCount);
    write("\n");
}

void freeEverything() {
    for (int i = 0; i < tinyCount; ++i) giveBack(sources[tinyBlocks[i].source], tinyBlocks[i].block);
    tinyCount = 0;
    for (int i = 0; i < sourceCount; ++i) {
        while (void* block = sources[i].chain) {
            sources[i].chain = *static_cast<void**>(block);
            giveBack(sources[i], block);
        }
    }
    for (int i = 0; i < reservationCount; ++i) VirtualFree(reservations[i].base, 0, kMemRelease);
    reservationCount = 0;
}

// ---- What the operations work on, set up while memory is there ----

const FrameTypeCode kMono8 = 0x11000000, kRGB24 = 0x01000000;
const int kPoolWidth = 64, kPoolHeight = 48, kPoolBytes = 64 * 48;

// Small hand-made frames and their RGB host arrays (column-major, band after band).
struct Sample {
    FrameTypeCode code;
    int width, height, size;
    unsigned char bytes[8];
    unsigned char rgb[12];
};
const Sample kSamples[] = {
    {kMono8, 2, 2, 4, {10, 20, 30, 40}, {10, 30, 20, 40, 10, 30, 20, 40, 10, 30, 20, 40}},
    {kRGB24, 2, 1, 6, {1, 2, 3, 4, 5, 6}, {1, 4, 2, 5, 3, 6}},
    // YUY2: black, white, and two pixels of pure red (video-range BT.601).
    {0x03000000, 4, 1, 8, {16, 128, 235, 128, 81, 90, 81, 240}, {0, 255, 255, 255, 0, 255, 0, 0, 0, 255, 0, 0}},
    // I420: one chroma sample for the four, grey: a black and a white column.
    {0x04000002, 2, 2, 6, {16, 235, 16, 235, 128, 128}, {0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255}},
};
const int kSampleCount = sizeof kSamples / sizeof kSamples[0];
const int kMono = 0, kRGB = 1, kYUY2 = 2;

const unsigned char kSixteenBytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const char kLongName[] = "a name of forty characters, to be exact.";
static_assert(sizeof kLongName == 41, "40 characters");

// Plain pointers only: without a C runtime no static constructor runs.
MemoryLimiter* limiter = nullptr;
FramePool* pool = nullptr;  // its worker running
FramePool* idle = nullptr;  // its worker never started
IFrame* released = nullptr;
IFrame* unreferenced = nullptr;
IFrame* idleFrame = nullptr;
IFrame* samples[kSampleCount] = {};
IFrame* empty = nullptr;  // no buffer yet

// Frees the array.
bool isSampleRGB(HostArray array, const Sample& sample) {
    const int* dims = haGetDimensions(array);
    bool same = haGetNumberOfDimensions(array) == 3 && dims[0] == sample.height && dims[1] == sample.width &&
                dims[2] == 3 && haGetClassID(array) == haUint8Class;
    const unsigned char* got = static_cast<const unsigned char*>(haGetData(array));
    for (int i = 0; same && i < sample.width * sample.height * 3; ++i) same = got[i] == sample.rgb[i];
    haFree(array);
    return same;
}

IFrame* poolFrame(FramePool* from) {
    IFrame* frame = from->getFrame(kMono8, kPoolWidth, kPoolHeight);
    CHECK(frame != nullptr && frame->getData() != nullptr);
    return frame;
}

// The three adders, each with a name the frame has and one it has not, and the value each name gets
// before and while memory is gone.
struct Adder {
    const char* existing;
    const char* fresh;
    void (*add)(IFrame* frame, const char* name, bool later);
    bool (*holds)(HostArray value, bool later);
    bool freshAdded;
};
const char* textOf(bool later) { return later ? "added while out of memory" : "abc"; }
void addText(IFrame* frame, const char* name, bool later) { frame->addCStrMetaData(name, textOf(later)); }
bool holdsText(HostArray value, bool later) { return sameText(haGetChars(value), textOf(later)); }
void addNumber(IFrame* frame, const char* name, bool later) { frame->addDoubleMetaData(name, later ? 0.004 : 0.008); }
bool holdsNumber(HostArray value, bool later) { return haGetScalar(value) == (later ? 0.004 : 0.008); }
// Mid-1972 first, mid-1971 later: the year is element 0.
void addTime(IFrame* frame, const char* name, bool later) {
    frame->addTimeVectorMetaData(name, 86400.0 * (later ? 545 : 910));
}
bool holdsTime(HostArray value, bool later) {
    return static_cast<const double*>(haGetData(value))[0] == (later ? 1971.0 : 1972.0);
}
Adder adders[] = {
    {"label", "note", addText, holdsText, false},
    {"exposure", "gain", addNumber, holdsNumber, false},
    {"stamp", "taken", addTime, holdsTime, false},
};

void setUp() {
    pool = createFramePool(limiter);
    idle = createFramePool(limiter);
    CHECK(pool != nullptr && idle != nullptr);
    // Held between 0 and 8: the worker runs, but never makes frames that would move the limiter.
    pool->setFrameCountLimits(0, 8);
    released = poolFrame(pool);
    unreferenced = poolFrame(pool);
    unreferenced->incRefCount();
    idleFrame = poolFrame(idle);
    for (int i = 0; i < kSampleCount; ++i) {
        samples[i] = frameFactory(kSamples[i].code, kSamples[i].width, kSamples[i].height);
        samples[i]->setMemoryLimiter(limiter);
        CHECK_EQ(samples[i]->copyData(kSamples[i].bytes), kSamples[i].size);
    }
    for (Adder& adder : adders) adder.add(samples[kMono], adder.existing, false);
    samples[kMono]->addDoubleMetaData(kLongName, 2.5);
    CHECK_EQ(samples[kMono]->getMetaDataCount(), 4);
    empty = frameFactory(kMono8, 4, 4);
    empty->setMemoryLimiter(limiter);
}

// ---- The operations, each called while memory is gone ----

void callFrameFactory() {
    IFrame* frame = frameFactory(kRGB24, 8, 8);
    write(frame != nullptr ? "made" : "null");
    if (frame == nullptr) return;
    CHECK_EQ(frame->getDataSize(), 192);
    frame->release();
}

void callGetFrame() {
    IFrame* frame = pool->getFrame(kMono8, 32, 16);  // not the held frames' size
    write(frame != nullptr ? "made" : "null");
    if (frame == nullptr) return;
    CHECK(frame->getOwnerPool() == pool && frame->getMemoryLimiter() == limiter);
    frame->release();  // no buffer: deleted
}

void callCreateFramePool() {
    FramePool* made = createFramePool(limiter);
    write(made != nullptr ? "made" : "null");
    if (made == nullptr) return;
    CHECK_EQ(made->getFrameCount(), 0);
    made->destroy();
}

// The pool keeps the frame, or deletes it and credits its bytes.
void giveToPool(FramePool* to, IFrame*& frame, bool byCount) {
    const int held = to->getFrameCount(), used = limiter->getMemoryUsed();
    if (byCount)
        frame->decRefCount();
    else
        frame->release();
    frame = nullptr;
    const int nowHeld = to->getFrameCount(), nowUsed = limiter->getMemoryUsed();
    write(nowHeld == held + 1 ? "kept" : "deleted");
    CHECK((nowHeld == held + 1 && nowUsed == used) || (nowHeld == held && nowUsed == used - kPoolBytes));
}

void callRelease() { giveToPool(pool, released, false); }
void callDecRefCount() { giveToPool(pool, unreferenced, true); }

void callSetFrameCountLimits() {
    idle->setFrameCountLimits(0, 4);  // must start the worker
    write("returned; its frame back: ");
    giveToPool(idle, idleFrame, false);
}

void callAdder(int which) {
    Adder& adder = adders[which];
    IFrame* frame = samples[kMono];
    const int count = frame->getMetaDataCount();
    adder.add(frame, adder.fresh, true);
    const int afterFresh = frame->getMetaDataCount();
    adder.freshAdded = afterFresh == count + 1;
    CHECK(afterFresh == count || afterFresh == count + 1);
    adder.add(frame, adder.existing, true);
    CHECK_EQ(frame->getMetaDataCount(), afterFresh);  // a replacement, or nothing
    write(adder.freshAdded ? "added" : "not added");
}
void callAddCStr() { callAdder(0); }
void callAddDouble() { callAdder(1); }
void callAddTimeVector() { callAdder(2); }

void callGetMetaData() {
    HostArray value = samples[kMono]->getMetaData(kLongName);
    write(value != nullptr ? "had" : "null");
    if (value == nullptr) return;
    CHECK(haGetScalar(value) == 2.5);
    haFree(value);
}

void callGetHostArray() {
    HostArray rgb = samples[kYUY2]->getHostArray(kColorSpaceRGB);
    write(rgb != nullptr ? "had" : "null");
    if (rgb != nullptr) CHECK(isSampleRGB(rgb, kSamples[kYUY2]));
}

void callGetNativeHostArray() {
    HostArray native = samples[kRGB]->getNativeHostArray();
    write(native != nullptr ? "had" : "null");
    if (native != nullptr) CHECK(isSampleRGB(native, kSamples[kRGB]));
}

void callCopyData() {
    const int used = limiter->getMemoryUsed();
    const int copied = empty->copyData(kSixteenBytes);
    write(copied != 0 ? "copied" : "nothing copied");
    const int nowUsed = limiter->getMemoryUsed();
    CHECK((copied == 0 && !empty->hasData() && nowUsed == used) ||
          (copied == 16 && empty->hasData() && nowUsed == used + 16 && empty->getData()[15] == 16));
}

void callGetTimestamp() {
    const double now = getTimestamp();
    write("returned");
    CHECK(now > 1.6e9 && now < 4.0e9);
}

void callConvertSysTimeToLocalTime() {
    const double converted = convertSysTimeToLocalTime(1000);
    write("returned");
    CHECK(converted > 1.0e9);
}

void callFillBitmap() {
    static BITMAPINFOHEADER header;
    static unsigned char pixels[16] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    static const unsigned char bgr[16] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 0, 255, 7, 7, 7, 7};
    samples[kYUY2]->fillBitmap(&header, pixels);
    write("returned");
    CHECK(header.biSize == 40 && header.biWidth == 4 && header.biHeight == 1 && header.biBitCount == 24);
    bool same = true;
    for (int i = 0; i < 16; ++i) same = same && pixels[i] == bgr[i];
    CHECK(same);
}

void callStopWorker() {
    const int held = pool->getFrameCount(), used = limiter->getMemoryUsed();
    pool->stopWorker();
    write("returned");
    CHECK_EQ(pool->getFrameCount(), 0);
    CHECK_EQ(limiter->getMemoryUsed(), used - held * kPoolBytes);
}

struct Operation {
    const char* name;
    void (*call)();
};
const Operation kOperations[] = {
    {"frameFactory", callFrameFactory},
    {"getFrame", callGetFrame},
    {"createFramePool", callCreateFramePool},
    {"release", callRelease},
    {"decRefCount", callDecRefCount},
    {"setFrameCountLimits", callSetFrameCountLimits},
    {"addCStrMetaData", callAddCStr},
    {"addDoubleMetaData", callAddDouble},
    {"addTimeVectorMetaData", callAddTimeVector},
    {"getMetaData", callGetMetaData},
    {"getHostArray", callGetHostArray},
    {"getNativeHostArray", callGetNativeHostArray},
    {"copyData", callCopyData},
    {"getTimestamp", callGetTimestamp},
    {"convertSysTimeToLocalTime", callConvertSysTimeToLocalTime},
    {"fillBitmap", callFillBitmap},
    {"stopWorker", callStopWorker},
};

// ---- With memory back ----

void checkRecovered() {
    write("memory back\n");
    for (int i = 0; i < kSampleCount; ++i) {
        const Sample& sample = kSamples[i];
        IFrame* frame = frameFactory(sample.code, sample.width, sample.height);
        CHECK(frame != nullptr);
        if (frame == nullptr) continue;
        frame->setMemoryLimiter(limiter);
        CHECK_EQ(frame->copyData(sample.bytes), sample.size);
        HostArray rgb = frame->getHostArray(kColorSpaceRGB);
        CHECK(rgb != nullptr && isSampleRGB(rgb, sample));
        frame->release();
        rgb = samples[i]->getHostArray(kColorSpaceRGB);  // the frame that lived through it
        CHECK(rgb != nullptr && isSampleRGB(rgb, sample));
    }

    IFrame* frame = samples[kMono];
    for (const Adder& adder : adders) {
        HostArray value = frame->getMetaData(adder.fresh);
        CHECK_EQ(value != nullptr, adder.freshAdded);
        if (value != nullptr) CHECK(adder.holds(value, true));
        haFree(value);
        value = frame->getMetaData(adder.existing);  // replaced, or as it was
        CHECK(value != nullptr && (adder.holds(value, true) || adder.holds(value, false)));
        haFree(value);
    }
    const int count = frame->getMetaDataCount();
    frame->addDoubleMetaData("afterwards", 1.5);
    CHECK_EQ(frame->getMetaDataCount(), count + 1);
    HostArray value = frame->getMetaData("afterwards");
    CHECK(value != nullptr && haGetScalar(value) == 1.5);
    haFree(value);
    value = frame->getMetaData(kLongName);
    CHECK(value != nullptr && haGetScalar(value) == 2.5);
    haFree(value);
    CHECK_EQ(empty->copyData(kSixteenBytes), 16);
    CHECK_EQ(empty->getData()[15], 16);

    // Both pools pool again: the one whose worker was stopped, and the one whose worker may never
    // have started.
    FramePool* const pools[2] = {pool, idle};
    for (FramePool* each : pools) {
        each->setFrameCountLimits(0, 8);
        IFrame* first = poolFrame(each);
        const int held = each->getFrameCount();
        first->release();
        CHECK_EQ(each->getFrameCount(), held + 1);
        CHECK(each->getFrame(kMono8, kPoolWidth, kPoolHeight) == first);
        first->release();
    }

    // Whatever an operation not called still holds, then everything.
    IFrame* const left[] = {released, unreferenced, idleFrame, empty};
    for (IFrame* each : left)
        if (each != nullptr) each->release();
    for (IFrame* each : samples) each->release();
    pool->destroy();
    idle->destroy();
    CHECK_EQ(limiter->getMemoryUsed(), 0);
}

// The operation named on the command line, or null for all of them.
const char* onlyOperation() {
    const char* line = GetCommandLineA();
    if (*line == '"') {
        ++line;
        while (*line != 0 && *line != '"') ++line;
        if (*line == '"') ++line;
    } else {
        while (*line != 0 && *line != ' ') ++line;
    }
    while (*line == ' ') ++line;
    static char name[64];
    int length = 0;
    while (line[length] != 0 && line[length] != ' ' && length < 63) name[length] = line[length], ++length;
    name[length] = 0;
    return length > 0 ? name : nullptr;
}

unsigned long __stdcall endAtOnce(void*) { return 0; }

}  // namespace

extern "C" void __stdcall engineMain() {
    SetUnhandledExceptionFilter(onUnhandledException);
    // The DLL's runtime allocates from msvcrt's heap; the library must be loaded while it can be.
    void* msvcrt = LoadLibraryA("msvcrt.dll");
    crtMalloc = reinterpret_cast<Malloc>(GetProcAddress(msvcrt, "malloc"));
    crtFree = reinterpret_cast<Free>(GetProcAddress(msvcrt, "free"));
    Signal signal = reinterpret_cast<Signal>(GetProcAddress(msvcrt, "signal"));
    if (crtMalloc == nullptr || crtFree == nullptr || signal == nullptr) {
        write("msvcrt.dll has no malloc, free or signal\n");
        ExitProcess(1);
    }
    signal(22, onAbort);  // SIGABRT, raised by abort()
    // The first thread to end loads a library, which a process out of memory could not: one ends now.
    void* thread = CreateThread(nullptr, 0, endAtOnce, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 0xFFFFFFFFul);
    CloseHandle(thread);

    MemoryLimiter fixed(64 << 20, 64 << 20);  // a fixed limit, whatever the machine has
    limiter = &fixed;
    setUp();
    const char* only = onlyOperation();
    int called = 0;

    calling = "the exhaustion";
    exhaust();
    reportExhaustion();
    for (const Operation& operation : kOperations) {
        if (only != nullptr && !sameText(only, operation.name)) continue;
        calling = operation.name;
        ++called;
        exhaust();  // what the last one gave back
        write("  ");
        write(operation.name);
        write(": ");
        operation.call();
        write("\n");
    }
    if (only != nullptr && called == 0) {
        write("no operation named ");
        write(only);
        write("\n");
        ExitProcess(1);
    }
    calling = "nothing (memory given back)";
    freeEverything();
    checkRecovered();

    write("out-of-memory engine: ");
    writeNumber(checks);
    write(" checks, ");
    writeNumber(failures);
    write(" failed\n");
    ExitProcess(failures == 0 ? 0 : 1);
}

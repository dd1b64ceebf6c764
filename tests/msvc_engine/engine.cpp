// An acquisition engine as the platform's own compiler builds one (the Microsoft C++ ABI), using the
// installed DLL through its public header and import library: every IFrame slot on a frame of every
// family, every FramePool slot, MemoryLimiter in all its forms. Freestanding, so that it needs no C
// runtime: its own entry point, its own heap calls, and nothing from Windows but kernel32.
#include "freestanding.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::MemoryLimiter;

namespace {

unsigned int seed = 12345;
unsigned char randomByte() {
    seed = seed * 1103515245u + 12345u;
    return static_cast<unsigned char>(seed >> 16);
}

void* zfkFunction(const char* decorated) { return GetProcAddress(GetModuleHandleA("zorvframekit.dll"), decorated); }

// The four int32 fields in their order: minimum, maximum, used, limit.
const int* fieldsOf(const MemoryLimiter& limiter) { return reinterpret_cast<const int*>(&limiter); }

void checkMemoryLimiter() {
    static_assert(sizeof(MemoryLimiter) == 16, "four int32 fields");
    MemoryLimiter onStack(1000, 5000);  // every machine has more than 5000 bytes available
    CHECK_EQ(fieldsOf(onStack)[0], 1000);
    CHECK_EQ(fieldsOf(onStack)[1], 5000);
    CHECK_EQ(onStack.getMemoryLimit(), 5000);
    CHECK_EQ(onStack.getMemoryUsed(), 0);
    onStack.incMemoryUsed(300);
    CHECK_EQ(fieldsOf(onStack)[2], 300);
    onStack.decMemoryUsed(500);
    CHECK_EQ(onStack.getMemoryUsed(), 0);
    onStack.setMemoryLimit(123);
    CHECK_EQ(fieldsOf(onStack)[3], 123);
    onStack.incMemoryUsed(7);
    onStack.reset();
    CHECK_EQ(onStack.getMemoryLimit(), 5000);
    CHECK_EQ(onStack.getMemoryUsed(), 0);

    MemoryLimiter* onHeap = new MemoryLimiter(64, 64);
    CHECK_EQ(onHeap->getMemoryLimit(), 64);
    delete onHeap;

    MemoryLimiter byDefault;
    CHECK_EQ(fieldsOf(byDefault)[0], 12288000);
    CHECK_EQ(fieldsOf(byDefault)[1], 1000000000);
    CHECK(byDefault.getMemoryLimit() >= 12288000 && byDefault.getMemoryLimit() <= 1000000000);

    // The exports a compiler reaches for on its own: the constructor's result, the default constructor
    // closure (arrays of the class), the copy assignment.
    typedef void* (__thiscall * Construct)(void*, int, int);
    typedef void(__thiscall * ConstructDefault)(void*);
    typedef void*(__thiscall * Assign)(void*, const void*);
    typedef void(__thiscall * Destroy)(void*);
    Construct construct = reinterpret_cast<Construct>(zfkFunction("??0MemoryLimiter@zorvframekit@@QAE@HH@Z"));
    ConstructDefault closure = reinterpret_cast<ConstructDefault>(zfkFunction("??_FMemoryLimiter@zorvframekit@@QAEXXZ"));
    Assign assign = reinterpret_cast<Assign>(zfkFunction("??4MemoryLimiter@zorvframekit@@QAEAAV01@ABV01@@Z"));
    Destroy destroy = reinterpret_cast<Destroy>(zfkFunction("??1MemoryLimiter@zorvframekit@@QAE@XZ"));
    CHECK(construct != nullptr && closure != nullptr && assign != nullptr && destroy != nullptr);
    if (construct == nullptr || closure == nullptr || assign == nullptr || destroy == nullptr) return;
    int raw[4] = {-1, -1, -1, -1}, other[4] = {-1, -1, -1, -1};
    CHECK(construct(raw, 10, 20) == raw);
    CHECK_EQ(raw[0], 10);
    CHECK_EQ(raw[3], 20);
    closure(other);
    CHECK_EQ(other[0], 12288000);
    CHECK_EQ(other[1], 1000000000);
    CHECK(assign(other, raw) == other);
    CHECK(other[0] == 10 && other[1] == 20 && other[2] == 0 && other[3] == 20);
    destroy(raw);
    destroy(other);
    MemoryLimiter copy(1, 2);
    copy = onStack;
    CHECK_EQ(fieldsOf(copy)[1], 5000);
}

struct Layout {
    const char* name;
    FrameTypeCode code;
    int colorSpace, dataSize, bands, classID, bitDepth, bitCount;
};
// 4 x 2 frames, one of every family (and both row orders).
const Layout kLayouts[] = {
    {"Mono8", 0x11000000, 1, 8, 1, 9, 8, 8},
    {"Mono16 bottom-up", 0x11000104, 1, 16, 1, 11, 16, 8},
    {"RGB24", 0x01000000, 2, 24, 3, 9, 8, 24},
    {"BGRX bottom-up", 0x01000103, 2, 32, 3, 9, 8, 32},
    {"RGB565", 0x05000001, 2, 16, 3, 9, 8, 16},
    {"RGB planar", 0x02000000, 2, 24, 3, 9, 8, 24},
    {"YUY2", 0x03000000, 4, 16, 3, 9, 8, 24},
    {"I420", 0x04000002, 4, 12, 3, 9, 8, 24},
};

// Slot 0 called by hand, as `delete` and an explicit destructor call compile.
void* callSlotZero(void* object, unsigned int flags) {
    typedef void* (__thiscall * ScalarDeletingDestructor)(void*, unsigned int);
    ScalarDeletingDestructor entry = (*reinterpret_cast<ScalarDeletingDestructor* const*>(object))[0];
    return entry(object, flags);
}

void checkFrame(const Layout& layout, int ending) {
    write("frame ");
    write(layout.name);
    write("\n");
    const int width = 4, height = 2;
    MemoryLimiter limiter(0, 100000);
    IFrame* frame = frameFactory(layout.code, width, height);
    CHECK(frame != nullptr);
    if (frame == nullptr) return;

    CHECK_EQ(getFrameTypeColorSpace(layout.code), layout.colorSpace);
    CHECK_EQ(frame->getColorSpace(), layout.colorSpace);
    frame->setColorSpace(7);
    CHECK_EQ(frame->getColorSpace(), 7);
    frame->setColorSpace(layout.colorSpace);
    CHECK_EQ(frame->getFrameType(), layout.code);
    frame->setFrameType(0x11000001);
    CHECK_EQ(frame->getFrameType(), 0x11000001u);
    frame->setFrameType(layout.code);
    CHECK_EQ(frame->getDataSize(), layout.dataSize);
    CHECK_EQ(frame->getBitDepth(), layout.bitDepth);
    CHECK_EQ(frame->getHostClassID(), layout.classID);
    const int* dims = frame->getDimensions();
    CHECK(dims[0] == width && dims[1] == height && dims[2] == layout.bands);
    frame->setTime(12.5);
    CHECK(frame->getTime() == 12.5);
    CHECK(frame->getOwnerPool() == nullptr);
    frame->setOwnerPool(nullptr);

    // No limiter: no buffer, nothing copied.
    unsigned char raw[32], again[32];
    for (int i = 0; i < 32; ++i) raw[i] = randomByte(), again[i] = randomByte();
    CHECK(!frame->hasData());
    CHECK(frame->getData() == nullptr);
    CHECK_EQ(frame->copyData(raw), 0);
    CHECK(frame->getNativeHostArray() == nullptr);

    frame->setMemoryLimiter(&limiter);
    CHECK(frame->getMemoryLimiter() == &limiter);
    CHECK_EQ(frame->copyData(raw), layout.dataSize);
    CHECK(frame->hasData());
    CHECK_EQ(limiter.getMemoryUsed(), layout.dataSize);
    bool same = true;
    for (int i = 0; i < layout.dataSize; ++i) same = same && frame->getData()[i] == raw[i];
    CHECK(same);
    // A window as large as its source, at the origin, is the source's bytes as they stand.
    frame->copyRegion(again, width, height, 0, 0);
    same = true;
    for (int i = 0; i < layout.dataSize; ++i) same = same && frame->getData()[i] == again[i];
    CHECK(same);

    HostArray native = frame->getNativeHostArray();
    CHECK(native != nullptr);
    if (native != nullptr) {
        const int* shape = haGetDimensions(native);
        CHECK(shape[0] == height && shape[1] == width && shape[2] == layout.bands);
        CHECK_EQ(haGetClassID(native), layout.classID);
        const unsigned char* samples = static_cast<const unsigned char*>(haGetData(native));
        // Column-major: row r, column c of band b at b * rows * columns + c * rows + r.
        if (layout.code == 0x11000000) CHECK_EQ(samples[1 + 2 * height], again[1 * width + 2]);
        if (layout.code == 0x01000000) CHECK_EQ(samples[2 * width * height + 3 * height + 1], again[(width + 3) * 3 + 2]);
        haFree(native);
    }
    const int otherSpace = layout.colorSpace == zorvframekit::kColorSpaceRGB ? zorvframekit::kColorSpaceYUV
                                                                              : zorvframekit::kColorSpaceRGB;
    HostArray converted = frame->getHostArray(otherSpace);
    if (layout.classID == 9) {
        CHECK(converted != nullptr);
        if (converted != nullptr) CHECK_EQ(haGetDimensions(converted)[2], 3);
    } else {
        CHECK(converted == nullptr);  // 16-bit samples are had only as they are
    }
    if (converted != nullptr) haFree(converted);

    const int stride = (width * layout.bitCount / 8 + 3) & ~3;
    CHECK_EQ(frame->getBitmapSize(), stride * height);
    BITMAPINFOHEADER header;
    unsigned char pixels[64];
    frame->fillBitmap(&header, pixels);
    CHECK_EQ(header.biSize, 40u);
    CHECK(header.biWidth == width && header.biHeight == height && header.biPlanes == 1);
    CHECK_EQ(header.biBitCount, layout.bitCount);

    frame->addCStrMetaData("label", "abc");
    frame->addDoubleMetaData("exposure", 0.008);
    frame->addTimeVectorMetaData("stamp", 86400.0 * 365);
    frame->addDoubleMetaData("exposure", 0.004);  // replaces
    CHECK_EQ(frame->getMetaDataCount(), 3);
    const char* names[3] = {nullptr, nullptr, nullptr};
    frame->getMetaDataNames(names);
    CHECK(sameText(names[0], "exposure") && sameText(names[1], "label") && sameText(names[2], "stamp"));
    HostArray exposure = frame->getMetaData("exposure");
    CHECK(exposure != nullptr && haGetScalar(exposure) == 0.004);
    HostArray label = frame->getMetaData("label");
    CHECK(label != nullptr && sameText(haGetChars(label), "abc"));
    HostArray stamp = frame->getMetaData("stamp");
    CHECK(stamp != nullptr && static_cast<const double*>(haGetData(stamp))[0] == 1971.0);
    CHECK(frame->getMetaData("missing") == nullptr);
    haFree(exposure);
    haFree(label);
    haFree(stamp);

    // Each frame goes another way; every way frees the buffer and credits the limiter.
    switch (ending % 4) {
    case 0:
        delete frame;
        break;
    case 1:
        frame->incRefCount();
        frame->decRefCount();  // back to 0: released, and with no pool, deleted
        break;
    case 2:
        frame->release();
        break;
    default:
        CHECK(callSlotZero(frame, 1) == frame);
        break;
    }
    CHECK_EQ(limiter.getMemoryUsed(), 0);
}

void checkDestroyWithoutFreeing() {
    MemoryLimiter limiter(0, 1000);
    IFrame* frame = frameFactory(0x11000000, 4, 4);
    frame->setMemoryLimiter(&limiter);
    frame->getData();
    CHECK_EQ(limiter.getMemoryUsed(), 16);
    // Flags 0: what an explicit destructor call compiles to. The object is destroyed, not freed (its
    // few bytes are left behind on purpose).
    CHECK(callSlotZero(frame, 0) == frame);
    CHECK_EQ(limiter.getMemoryUsed(), 0);
}

int waitForCount(FramePool* pool, int wanted) {
    int count = pool->getFrameCount();
    for (int i = 0; i < 500 && count != wanted; ++i) {
        Sleep(10);
        count = pool->getFrameCount();
    }
    return count;
}

void checkPool() {
    write("pool\n");
    const FrameTypeCode mono8 = 0x11000000;
    MemoryLimiter limiter(0, 100000000);
    FramePool* pool = createFramePool(&limiter);
    CHECK(pool != nullptr);
    if (pool == nullptr) return;
    CHECK_EQ(pool->getFrameCount(), 0);
    pool->setFrameCountLimits(2, 3);  // the worker starts

    IFrame* first = pool->getFrame(mono8, 64, 48);
    CHECK(first != nullptr);
    if (first == nullptr) return;
    CHECK(first->getOwnerPool() == pool);
    CHECK(first->getMemoryLimiter() == &limiter);
    unsigned char* bytes = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, 64 * 48));
    for (int i = 0; i < 64 * 48; ++i) bytes[i] = randomByte();
    CHECK_EQ(first->copyData(bytes), 64 * 48);
    HeapFree(GetProcessHeap(), 0, bytes);
    first->release();  // back through returnFrame, kept
    CHECK_EQ(waitForCount(pool, 2), 2);  // the worker made one more
    // The worker's frame went in front of the one that came back: it goes out first, buffer and all.
    IFrame* again = pool->getFrame(mono8, 64, 48);
    CHECK(again != nullptr && again != first && again->hasData());
    if (again == nullptr) return;
    pool->returnFrame(again);
    CHECK(pool->getFrame(mono8, 64, 48) == again);  // the one that came back last goes out first
    pool->returnFrame(again);
    pool->returnFrame(nullptr);
    CHECK(waitForCount(pool, 2) >= 2);
    // The hand-outs above queued the worker a check of the count, which may find a frame out and make
    // one more (the count then settles at 3, still within the bounds). Let it run first: served after
    // the clear, it would find nothing held and make frames again, buffers and all.
    Sleep(100);
    const int settled = pool->getFrameCount();
    CHECK(settled == 2 || settled == 3);
    pool->clearFrames();
    CHECK_EQ(pool->getFrameCount(), 0);
    CHECK_EQ(limiter.getMemoryUsed(), 0);

    IFrame* held = pool->getFrame(mono8, 64, 48);
    held->getData();
    pool->stopWorker();
    CHECK_EQ(pool->getFrameCount(), 0);
    held->release();  // no worker: deleted, not kept
    CHECK_EQ(pool->getFrameCount(), 0);
    CHECK_EQ(limiter.getMemoryUsed(), 0);

    pool->setFrameCountLimits(1, 1);
    IFrame* last = pool->getFrame(mono8, 64, 48);
    last->getData();
    last->release();
    CHECK(waitForCount(pool, 1) == 1);
    delete pool;  // slot 7: stops the worker and deletes the held frames
    CHECK_EQ(limiter.getMemoryUsed(), 0);

    FramePool* second = createFramePool(&limiter);
    second->setFrameCountLimits(1, 2);
    IFrame* frame = second->getFrame(mono8, 8, 8);
    frame->getData();
    frame->release();
    second->destroy();
    CHECK_EQ(limiter.getMemoryUsed(), 0);
}

void checkClock() {
    const double now = getTimestamp();
    CHECK(now > 1.6e9 && now < 4.0e9);
    const double converted = convertSysTimeToLocalTime(1000);
    CHECK(converted > 1.0e9);
}

}  // namespace

extern "C" void __stdcall engineMain() {
    checkMemoryLimiter();
    for (int i = 0; i < static_cast<int>(sizeof kLayouts / sizeof kLayouts[0]); ++i) checkFrame(kLayouts[i], i);
    checkDestroyWithoutFreeing();
    checkPool();
    checkClock();
    write("engine: ");
    writeNumber(checks);
    write(" checks, ");
    writeNumber(failures);
    write(" failed\n");
    ExitProcess(failures == 0 ? 0 : 1);
}

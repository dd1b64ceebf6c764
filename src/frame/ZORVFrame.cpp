#include "frame/ZORVFrame.h"

#include "frame/ColorConversion.h"
#include "kernels/CopyBytes.h"
#include "kernels/RowKernels.h"
#include "metadata/MetaDataItem.h"
#include "platform/platform.h"

namespace zorvframekit {

namespace {
const uintptr_t kLine = 64;
}  // namespace

ZORVFrame::ZORVFrame(int size)
    : data(nullptr),
      allocation(nullptr),
      dataSize(size),
      colorSpace(0),
      frameType(0),
      refCount(0),
      time(0.0),
      ownerPool(nullptr),
      memoryLimiter(nullptr),
      chargedLimiter(nullptr),
      chargedSize(0) {}

ZORVFrame::~ZORVFrame() { freeData(); }

#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
void* ZORVFrame::scalarDeletingDestructor(unsigned int flags) { return scalarDelete(this, flags); }
#endif

void ZORVFrame::allocateData() {
    if (data != nullptr || memoryLimiter == nullptr || dataSize <= 0) return;
    // Charge first, in one atomic check-and-charge, so that two frames racing for the last bytes
    // cannot both be granted; a failed allocation gives the bytes back.
    if (!tryChargeMemory(*memoryLimiter, dataSize)) return;
    // The buffer starts on a cache line, so that rows whose size is a multiple of 64 bytes (most
    // widths of most layouts) start on one too and a wide load of a row never straddles two lines.
    allocation = static_cast<unsigned char*>(platform::allocateMemory(static_cast<size_t>(dataSize) + kLine - 1));
    if (allocation == nullptr) {
        memoryLimiter->decMemoryUsed(dataSize);
        platform::outOfMemory();
        return;  // refused, as the limiter refuses: no buffer, nothing charged
    }
    data = allocation + (kLine - reinterpret_cast<uintptr_t>(allocation) % kLine) % kLine;
    chargedLimiter = memoryLimiter;
    chargedSize = dataSize;
}

void ZORVFrame::freeData() {
    if (data == nullptr) return;
    platform::freeMemory(allocation);
    allocation = nullptr;
    data = nullptr;
    chargedLimiter->decMemoryUsed(chargedSize);
    chargedLimiter = nullptr;
    chargedSize = 0;
}

unsigned char* ZORVFrame::getData() {
    allocateData();
    return data;
}

int ZORVFrame::copyData(const unsigned char* src) {
    if (src == nullptr) return 0;
    unsigned char* dst = getData();
    if (dst == nullptr) return 0;
    copyBytes(src, dst, static_cast<size_t>(dataSize));
    return dataSize;
}

void ZORVFrame::incRefCount() {
    bex::BXAutoCriticalSection guard(lock, true);
    ++refCount;
    guard.leave();
}

void ZORVFrame::decRefCount() {
    bex::BXAutoCriticalSection guard(lock, true);
    const bool unreferenced = --refCount <= 0;
    guard.leave();
    // Nothing may hold the frame's lock here: release may destroy the frame.
    if (unreferenced) release();
}

void ZORVFrame::resetRefCount() {
    bex::BXAutoCriticalSection guard(lock, true);
    refCount = 0;
    guard.leave();
}

void ZORVFrame::release() {
    if (ownerPool != nullptr)
        ownerPool->returnFrame(this);
    else
        delete this;
}

HostArray ZORVFrame::getHostArray(int colorSpaceMask) {
    if ((colorSpaceMask & colorSpace) != 0) return getNativeHostArray();
    // Nothing is built when no conversion could serve the mask.
    if (!canConvert(colorSpace, colorSpaceMask)) return nullptr;
    return convertHostArray(getNativeHostArray(), colorSpace, colorSpaceMask);
}

RowMajorLayout ZORVFrame::rowMajorLayout(int colorSpaceMask) {
    const bool narrow = getHostClassID() == haUint8Class;
    int space = 0;
    switch (chooseHostConversion(colorSpace, colorSpaceMask)) {
    case HostConversion::Native:
        return RowMajorLayout{colorSpace, colorSpace == kColorSpaceMonochrome ? 1 : 3, narrow ? 1 : 2};
    case HostConversion::YUVToRGB:
    case HostConversion::MonoToRGB:
        space = kColorSpaceRGB;
        break;
    case HostConversion::RGBToYUV:
    case HostConversion::MonoToYUV:
        space = kColorSpaceYUV;
        break;
    case HostConversion::YUVToMono:
    case HostConversion::RGBToMono:
        space = kColorSpaceMonochrome;
        break;
    case HostConversion::None:
        break;
    }
    // Only 8-bit samples convert, as getHostArray's do.
    if (space == 0 || !narrow) return RowMajorLayout{0, 0, 0};
    return RowMajorLayout{space, space == kColorSpaceMonochrome ? 1 : 3, 1};
}

KernelLevel ZORVFrame::activeKernelLevel() { return rowKernels().level; }

KernelLevel ZORVFrame::machineKernelLevel() { return bestKernelLevel(); }

bool ZORVFrame::runKernelLevel(KernelLevel level) { return forceKernelLevel(level); }

void ZORVFrame::getMetaDataNames(const char** names) {
    if (names != nullptr) metaData.names(names);
}

HostArray ZORVFrame::getMetaData(const char* name) {
    MetaDataItem* item = name != nullptr ? metaData.find(name) : nullptr;
    return item != nullptr ? item->getHostValue() : nullptr;
}

void ZORVFrame::addCStrMetaData(const char* name, const char* text) {
    if (name == nullptr || text == nullptr) return;
    insertMetaData(name, CStrMetaDataItem::create(text));
}

void ZORVFrame::addDoubleMetaData(const char* name, double value) {
    if (name == nullptr) return;
    insertMetaData(name, new DoubleMetaDataItem(value));
}

void ZORVFrame::addTimeVectorMetaData(const char* name, double value) {
    if (name == nullptr) return;
    insertMetaData(name, new TimeVectorMetaDataItem(value));
}

void ZORVFrame::insertMetaData(const char* name, MetaDataItem* item) {
    // No item: there was no room for it, and the older value of the name stays.
    if (item != nullptr && !metaData.put(name, item)) platform::outOfMemory();
}

}  // namespace zorvframekit

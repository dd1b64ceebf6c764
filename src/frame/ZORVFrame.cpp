#include "frame/ZORVFrame.h"

#include <cstring>
#include <memory>
#include <new>

#include "frame/ColorConversion.h"
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

ZORVFrame::~ZORVFrame() {
    freeData();
    for (auto& entry : metaData) delete entry.second;
}

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
    allocation = new (std::nothrow) unsigned char[static_cast<size_t>(dataSize) + kLine - 1];
    if (allocation == nullptr) {
        memoryLimiter->decMemoryUsed(dataSize);
        if (platform::kExceptionsReachCallers) throw std::bad_alloc();
        return;  // refused, as the limiter refuses: no buffer, nothing charged
    }
    data = allocation + (kLine - reinterpret_cast<uintptr_t>(allocation) % kLine) % kLine;
    chargedLimiter = memoryLimiter;
    chargedSize = dataSize;
}

void ZORVFrame::freeData() {
    if (data == nullptr) return;
    delete[] allocation;
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
    std::memcpy(dst, src, static_cast<size_t>(dataSize));
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

void ZORVFrame::getMetaDataNames(const char** names) {
    if (names == nullptr) return;
    for (const auto& entry : metaData) *names++ = entry.first.c_str();
}

HostArray ZORVFrame::getMetaData(const char* name) {
    if (name == nullptr) return nullptr;
    auto found = metaData.find(name);
    if (found == metaData.end()) return nullptr;
    return found->second->getHostValue();
}

void ZORVFrame::addCStrMetaData(const char* name, const char* text) {
    if (name == nullptr || text == nullptr) return;
    insertMetaData(name, new CStrMetaDataItem(text));
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
    std::unique_ptr<MetaDataItem> owned(item);  // freed if the table cannot take it
    auto inserted = metaData.emplace(name, nullptr);
    MetaDataItem*& slot = inserted.first->second;
    delete slot;  // the replaced value; the key and its place in the order stay
    slot = owned.release();
}

}  // namespace zorvframekit

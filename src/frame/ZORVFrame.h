// The part of every frame that does not depend on its pixel layout: the lazily allocated raw buffer
// charged to a memory limiter, the reference count, time, colour space, type code, and the table of
// named metadata. The pixel-format classes derive from it and supply the layout operations.
#ifndef ZORVFRAMEKIT_FRAME_ZORVFRAME_H
#define ZORVFRAMEKIT_FRAME_ZORVFRAME_H

#include "bexcore.h"
#include "frame/RowMajorImage.h"
#include "metadata/MetaDataTable.h"
#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

class ZORVFrame : public IFrame, public RowMajorImage, public platform::HeapObject {
public:
    virtual ~ZORVFrame();
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    void* ZORVFRAMEKIT_THISCALL scalarDeletingDestructor(unsigned int flags) override;
#endif

    void incRefCount() override;
    void decRefCount() override;
    void release() override;
    double getTime() override { return time; }
    void setTime(double value) override { time = value; }
    int getDataSize() override { return dataSize; }
    unsigned char* getData() override;
    int copyData(const unsigned char* src) override;
    bool hasData() override { return data != nullptr; }
    HostArray getHostArray(int colorSpaceMask) override;
    int getColorSpace() override { return colorSpace; }
    void setColorSpace(int value) override { colorSpace = value; }
    FrameTypeCode getFrameType() override { return frameType; }
    void setFrameType(FrameTypeCode value) override { frameType = value; }
    int getBitDepth() override { return 8; }
    int getMetaDataCount() override { return metaData.size(); }
    void getMetaDataNames(const char** names) override;
    HostArray getMetaData(const char* name) override;
    void addCStrMetaData(const char* name, const char* text) override;
    void addDoubleMetaData(const char* name, double value) override;
    void addTimeVectorMetaData(const char* name, double value) override;
    void setOwnerPool(FramePool* pool) override { ownerPool = pool; }
    FramePool* getOwnerPool() override { return ownerPool; }
    void setMemoryLimiter(MemoryLimiter* limiter) override { memoryLimiter = limiter; }
    MemoryLimiter* getMemoryLimiter() override { return memoryLimiter; }

    // The row-major images (RowMajorImage.h): their layout is the same for every class; each class
    // fills them from its own rows.
    RowMajorLayout rowMajorLayout(int colorSpaceMask) override;
    KernelLevel activeKernelLevel() override;
    KernelLevel machineKernelLevel() override;
    bool runKernelLevel(KernelLevel level) override;

    // A frame its pool hands out again starts counting afresh, as a new frame does: a count left
    // below 0 by a release from 0 would otherwise let one holder's decRefCount give the frame back
    // while another still holds it.
    void resetRefCount();

protected:
    explicit ZORVFrame(int dataSize);

    // Makes sure the buffer exists, if the memory limiter grants its bytes.
    void allocateData();
    // Frees the buffer and credits it to the limiter that was charged for it.
    void freeData();
    // Only while no buffer is held: a layout whose row size depends on the window being copied.
    void setDataSize(int size) { dataSize = size; }

private:
    ZORVFrame(const ZORVFrame&);
    ZORVFrame& operator=(const ZORVFrame&);
    void insertMetaData(const char* name, MetaDataItem* item);

    unsigned char* data;        // inside `allocation`, on its first cache line boundary
    unsigned char* allocation;
    int dataSize;
    MetaDataTable metaData;
    int colorSpace;
    FrameTypeCode frameType;
    int refCount;
    double time;
    bex::BXCriticalSection lock;  // guards refCount only
    FramePool* ownerPool;
    MemoryLimiter* memoryLimiter;
    // Who was charged for `data`, and how much: the limiter may be swapped or detached meanwhile.
    MemoryLimiter* chargedLimiter;
    int chargedSize;
};

#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
// The platform compiler's scalar deleting destructor: destroys the object (through its virtual
// destructor), frees it too when bit 0 of `flags` is set, and returns its address.
template <typename Object>
void* scalarDelete(Object* object, unsigned int flags) {
    void* address = object;
    if (flags & 1)
        delete object;
    else
        object->~Object();
    return address;
}
#endif

// Destroys and frees a frame through its interface, as `delete` does where the interface has a
// virtual destructor.
inline void deleteFrame(IFrame* frame) {
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    if (frame != nullptr) frame->scalarDeletingDestructor(1);
#else
    delete frame;
#endif
}

// The row-major side of a frame the library made: a cast the host compiles, with no exported name
// (every frame frameFactory or a pool gives is a ZORVFrame).
inline RowMajorImage* rowMajorImageOf(IFrame* frame) { return static_cast<ZORVFrame*>(frame); }

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FRAME_ZORVFRAME_H

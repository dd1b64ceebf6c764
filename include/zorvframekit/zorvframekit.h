// zorvframekit: one model of a captured video frame, whatever the camera's pixel layout.
//
// This header is everything an acquisition engine compiles against. The engine makes frames with
// frameFactory (or takes them from a pool made with createFramePool), fills them with raw device
// bytes, and reads them back as host arrays or Windows bitmaps. The virtual operations below are in
// fixed slot order: other binaries call them by position, so never reorder, insert or remove one.
//
// Failures come back as null pointers, 0 results and frames without a buffer. On Linux an allocation
// the heap refuses raises std::bad_alloc in the caller; the Windows DLL carries its own C++ runtime,
// so no exception of it could be caught outside, and a frame buffer the heap refuses is reported as
// a buffer the memory limiter refused.
#ifndef ZORVFRAMEKIT_ZORVFRAMEKIT_H
#define ZORVFRAMEKIT_ZORVFRAMEKIT_H

#include <stdint.h>

// An engine built for Windows has the platform's SDK and gets BITMAPINFOHEADER from it; one built
// without it (a freestanding program) gets the same 40-byte struct from below.
#if defined(_WIN32)
#if defined(__has_include)
#if __has_include(<windows.h>)
#define ZORVFRAMEKIT_HAS_WINDOWS_H 1
#endif
#else
#define ZORVFRAMEKIT_HAS_WINDOWS_H 1
#endif
#endif
#if defined(ZORVFRAMEKIT_HAS_WINDOWS_H)
#include <windows.h>
#endif

// The 32-bit Windows DLL speaks the platform compiler's C++ ABI, whichever compiler builds it or the
// engine. That compiler gives a virtual destructor one table entry, a "scalar deleting destructor"
// that takes a flags argument (bit 0: free the object too) and returns the object's address; GCC and
// Clang for MinGW give it two. Under MinGW the interfaces below therefore declare that entry as the
// ordinary virtual function scalarDeletingDestructor in the destructor's place, so both compilers
// see the same tables. The price for MinGW-built engines: no `delete` through an interface pointer
// (the destructor is protected there); frames go with release(), pools with destroy().
#if defined(_WIN32) && defined(__i386__) && !defined(_MSC_VER)
#define ZORVFRAMEKIT_MSVC_VTABLES 1
#define ZORVFRAMEKIT_THISCALL __attribute__((thiscall))
#endif

#if defined(ZORVFRAMEKIT_STATIC)
#define ZORVFRAMEKIT_API
#elif defined(_WIN32)
#if defined(ZORVFRAMEKIT_BUILDING)
#define ZORVFRAMEKIT_API __declspec(dllexport)
#else
#define ZORVFRAMEKIT_API __declspec(dllimport)
#endif
#else
#define ZORVFRAMEKIT_API __attribute__((visibility("default")))
#endif

// Bits 24-31: family (frame class); bit 8: rows arrive bottom row first; bits 0-7: format index.
typedef uint32_t FrameTypeCode;

// An array of the host's array library; whoever receives one from a frame owns it.
#ifndef ZORVFRAMEKIT_HOSTARRAY_DEFINED
#define ZORVFRAMEKIT_HOSTARRAY_DEFINED
typedef struct HostArrayData* HostArray;
#endif

#if !defined(ZORVFRAMEKIT_HAS_WINDOWS_H)
// The Windows device-independent bitmap header: 40 bytes, little-endian, no padding.
typedef struct tagBITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;
#endif

#ifdef __cplusplus

namespace zorvframekit {

// Colour spaces: a frame has one native value; getHostArray takes an OR of accepted ones.
// (Not called RGB: <windows.h> defines a function-like macro of that name.)
const int kColorSpaceMonochrome = 1;
const int kColorSpaceRGB = 2;
const int kColorSpaceYUV = 4;

// Frame families, as they stand in bits 24-31 of a FrameTypeCode.
const uint32_t kFamilyRGB24Packed = 0x01;
const uint32_t kFamilyRGB24Planar = 0x02;
const uint32_t kFamilyYUVPacked = 0x03;
const uint32_t kFamilyYUVPlanar = 0x04;
const uint32_t kFamilyRGB16 = 0x05;
const uint32_t kFamilyMonochrome = 0x11;

inline FrameTypeCode makeFrameTypeCode(uint32_t family, uint32_t formatIndex, bool bottomUp) {
    return (family << 24) | (bottomUp ? 0x100u : 0u) | (formatIndex & 0xFFu);
}

// Counts the bytes held in frame pixel buffers against a cap that follows the machine's available
// physical memory, clamped to [minimumLimit, maximumLimit]. Frames ask it before they allocate,
// charge what they allocate and credit what they free; it refuses nothing itself. It must outlive
// every pool and frame that points to it.
class ZORVFRAMEKIT_API MemoryLimiter {
public:
    MemoryLimiter(int minimumLimit = 12288000, int maximumLimit = 1000000000);
    ~MemoryLimiter();

    void incMemoryUsed(int bytes);
    void decMemoryUsed(int bytes);  // never leaves the used amount below 0
    int getMemoryUsed() const;
    int getMemoryLimit() const;
    void setMemoryLimit(int limit);  // taken as it is, not clamped
    void reset();                    // limit from available memory again; used amount to 0

private:
    // Charges `bytes` only if the used amount stays within the limit, in one atomic step, so that
    // frames allocating on several threads can never overshoot the limit together.
    friend bool tryChargeMemory(MemoryLimiter& limiter, int bytes);

    int minimumLimit;
    int maximumLimit;
    int memoryUsed;   // accessed atomically
    int memoryLimit;  // accessed atomically
};

}  // namespace zorvframekit

class FramePool;

// A captured frame. Reference counted: incRefCount/decRefCount, and release() hands the frame back
// to its owner pool or deletes it.
class IFrame {
public:
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    // Slot 0, what `delete frame` calls in the platform compiler: destroys the frame and, when bit 0
    // of `flags` is set, frees it; returns its address. MinGW code calls release() instead.
    virtual void* ZORVFRAMEKIT_THISCALL scalarDeletingDestructor(unsigned int flags) = 0;
#else
    virtual ~IFrame() {}
#endif
    virtual void incRefCount() = 0;
    virtual void decRefCount() = 0;
    virtual void release() = 0;
    virtual double getTime() = 0;
    virtual void setTime(double time) = 0;
    virtual int getDataSize() = 0;
    virtual unsigned char* getData() = 0;
    virtual void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) = 0;
    // Copies getDataSize() bytes. Mind that a packed YUV frame's size changes with copyRegion: a
    // window that starts inside a pixel group takes one group more a row, one that does not goes
    // back to the plain size. Size a whole-frame buffer from getDataSize() just before copying.
    virtual int copyData(const unsigned char* src) = 0;
    virtual bool hasData() = 0;
    virtual HostArray getHostArray(int colorSpaceMask) = 0;
    virtual HostArray getNativeHostArray() = 0;
    virtual int getHostClassID() = 0;
    virtual int getBitmapSize() = 0;
    virtual void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) = 0;
    virtual int getColorSpace() = 0;
    virtual void setColorSpace(int colorSpace) = 0;
    virtual FrameTypeCode getFrameType() = 0;
    virtual void setFrameType(FrameTypeCode frameType) = 0;
    virtual int getBitDepth() = 0;
    virtual int getMetaDataCount() = 0;
    virtual int* getDimensions() = 0;
    virtual void getMetaDataNames(const char** names) = 0;
    virtual HostArray getMetaData(const char* name) = 0;
    virtual void addCStrMetaData(const char* name, const char* text) = 0;
    virtual void addDoubleMetaData(const char* name, double value) = 0;
    virtual void addTimeVectorMetaData(const char* name, double time) = 0;
    virtual void setOwnerPool(FramePool* pool) = 0;
    virtual FramePool* getOwnerPool() = 0;
    virtual void setMemoryLimiter(zorvframekit::MemoryLimiter* limiter) = 0;
    virtual zorvframekit::MemoryLimiter* getMemoryLimiter() = 0;
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
protected:
    ~IFrame() {}
#endif
};

// Recycles frames of one format and keeps between minFrames and maxFrames of them ready.
class FramePool {
public:
    virtual IFrame* getFrame(FrameTypeCode type, int width, int height) = 0;
    virtual void returnFrame(IFrame* frame) = 0;
    virtual int getFrameCount() = 0;
    virtual void clearFrames() = 0;
    virtual void setFrameCountLimits(int minFrames, int maxFrames) = 0;
    virtual void stopWorker() = 0;
    virtual void destroy() = 0;
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    // Slot 7, what `delete pool` calls in the platform compiler (see IFrame's slot 0). MinGW code
    // calls destroy() instead.
    virtual void* ZORVFRAMEKIT_THISCALL scalarDeletingDestructor(unsigned int flags) = 0;

protected:
    ~FramePool() {}
#else
    virtual ~FramePool() {}
#endif
};

namespace zorvframekit {

// For std::unique_ptr<IFrame, zorvframekit::FrameRelease>: gives a frame up the way every build can,
// back to its pool or deleted.
struct FrameRelease {
    void operator()(IFrame* frame) const {
        if (frame != nullptr) frame->release();
    }
};

}  // namespace zorvframekit

extern "C" {
ZORVFRAMEKIT_API IFrame* frameFactory(FrameTypeCode code, int width, int height);
ZORVFRAMEKIT_API int getFrameTypeColorSpace(FrameTypeCode code);
ZORVFRAMEKIT_API FramePool* createFramePool(zorvframekit::MemoryLimiter* limiter);
ZORVFRAMEKIT_API double getTimestamp(void);
ZORVFRAMEKIT_API double convertSysTimeToLocalTime(uint32_t tick);
}

#endif  // __cplusplus

#endif  // ZORVFRAMEKIT_ZORVFRAMEKIT_H

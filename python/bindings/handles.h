// The objects behind the Python classes. A frame or pool handed to Python may be used from several
// Python threads at once, and the library's own calls run with the GIL released, so each handle
// serialises the calls on its object itself, and knows when that object has gone.
//
// Locks: a Frame's mutex, then its pool's. A Frame's mutex is only ever taken with the GIL released,
// because its holder may need the GIL (the NumPy host array library takes it to create and free
// arrays). A pool's mutex may be taken with the GIL held (when Python collects a frame or a pool),
// so nothing done under it needs the GIL.
#ifndef ZFK_PYTHON_HANDLES_H
#define ZFK_PYTHON_HANDLES_H

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "zorvframekit/zorvframekit.h"

namespace zfkpy {

namespace py = pybind11;

// A MemoryLimiter and the bounds it was made with (the library keeps them to itself). Frames and
// pools share ownership of it, so it outlives everything that counts against it.
struct LimiterBox {
    LimiterBox(int minimum, int maximum) : limiter(minimum, maximum), minimum(minimum), maximum(maximum) {}
    zorvframekit::MemoryLimiter limiter;
    const int minimum, maximum;
};

// The limiter of frames and pools made without one.
const std::shared_ptr<LimiterBox>& defaultLimiter();

// A buffer the limiter would not grant, or an array NumPy could not make; raised as MemoryError.
class MemoryRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Frame;

// A pool and the frames it has handed out to Python. When the pool goes (closed, or its Python
// object collected), the frames still out are let go of it: they stay usable and are deleted,
// not returned, when released.
struct PoolState {
    std::mutex mutex;
    FramePool* pool = nullptr;  // null once closed
    std::shared_ptr<LimiterBox> limiter;
    std::unordered_set<Frame*> outstanding;

    void close();  // the caller does not hold `mutex`
    // A Python handle for a frame the pool just handed out; the caller holds `mutex`.
    std::unique_ptr<Frame> handOut(IFrame* frame, const std::shared_ptr<PoolState>& self);
    ~PoolState();
};

class Frame {
public:
    Frame(IFrame* frame, std::shared_ptr<LimiterBox> limiter, std::shared_ptr<PoolState> pool);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    void copyData(py::handle source);
    void copyRegion(py::handle source, int64_t sourceWidth, int64_t sourceHeight, int64_t x, int64_t y);
    py::object toArray(py::handle space, const std::string& order);
    py::tuple toBitmap();
    void release();

    double time();
    void setTime(double time);
    std::string colorSpace();
    int bitDepth();
    py::tuple dimensions();
    int dataSize();
    FrameTypeCode typeCode();
    std::string format();
    bool hasData();
    bool released();
    std::shared_ptr<LimiterBox> limiter();
    std::string repr();

    py::list metadataNames();
    py::object metadataValue(const std::string& name);  // None when there is none of that name
    void addDoubleMetadata(const std::string& name, double value);
    void addTextMetadata(const std::string& name, const std::string& text);
    void addTimeMetadata(const std::string& name, double time);

private:
    friend struct PoolState;

    // Runs body(frame) with the GIL released and this frame's mutex held; ValueError once released.
    template <class Body>
    auto locked(Body&& body) -> decltype(body(static_cast<IFrame*>(nullptr)));

    void releaseLocked();
    // to_array in C order, mask 0 for the native space.
    py::object rowMajorArray(int mask);

    std::mutex mutex;
    IFrame* frame;  // null once released; for a pooled frame, changed only under the pool's mutex too
    std::shared_ptr<LimiterBox> limiterBox;
    std::shared_ptr<PoolState> pool;
};

// The type code and size of a frame a caller asks for; ValueError or TypeError when they make none.
FrameTypeCode frameArguments(py::handle type, int64_t width, int64_t height, bool bottomUp, int& w, int& h);
std::string tooLarge(FrameTypeCode code, int width, int height);

void bindLimiter(py::module_& module);
void bindFrame(py::module_& module);
void bindPool(py::module_& module);

}  // namespace zfkpy

#endif  // ZFK_PYTHON_HANDLES_H

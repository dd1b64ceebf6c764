#include <climits>
#include <utility>

#include "handles.h"

namespace zfkpy {

using namespace pybind11::literals;

const std::shared_ptr<LimiterBox>& defaultLimiter() {
    static const std::shared_ptr<LimiterBox> limiter = std::make_shared<LimiterBox>(12288000, 1000000000);
    return limiter;
}

void PoolState::close() {
    std::lock_guard<std::mutex> guard(mutex);
    if (pool == nullptr) return;
    // The frames still out outlive the pool: released later, they are deleted, not returned. Only a
    // release reads a frame's owner, and releases of this pool's frames wait for this mutex.
    for (Frame* frame : outstanding) frame->frame->setOwnerPool(nullptr);
    outstanding.clear();
    FramePool* closing = pool;
    pool = nullptr;
    closing->destroy();  // stops the worker and deletes the frames it held
}

std::unique_ptr<Frame> PoolState::handOut(IFrame* frame, const std::shared_ptr<PoolState>& self) {
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> given(frame);
    std::unique_ptr<Frame> handle(new Frame(frame, limiter, nullptr));
    given.release();
    // Should the set fail to grow, the handle is not yet the pool's and gives the frame back
    // without waiting for this mutex.
    outstanding.insert(handle.get());
    handle->pool = self;
    return handle;
}

PoolState::~PoolState() { close(); }

namespace {

class Pool {
public:
    explicit Pool(std::shared_ptr<LimiterBox> limiter) : state(std::make_shared<PoolState>()) {
        state->limiter = limiter ? std::move(limiter) : defaultLimiter();
        state->pool = createFramePool(&state->limiter->limiter);
    }
    ~Pool() { state->close(); }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    std::unique_ptr<Frame> get(py::handle type, int64_t width, int64_t height, bool bottomUp) {
        int w = 0, h = 0;
        const FrameTypeCode code = frameArguments(type, width, height, bottomUp, w, h);
        return locked([&](FramePool* pool) {
            IFrame* frame = pool->getFrame(code, w, h);
            if (frame == nullptr) throw py::value_error(tooLarge(code, w, h));
            return state->handOut(frame, state);
        });
    }

    int frameCount() {
        return locked([](FramePool* pool) { return pool->getFrameCount(); });
    }

    void setLimits(int64_t minFrames, int64_t maxFrames) {
        if (minFrames < 0 || maxFrames < minFrames || maxFrames > INT_MAX)
            throw py::value_error("pool limits need 0 <= minimum <= maximum, not " + std::to_string(minFrames) + " and " +
                                  std::to_string(maxFrames));
        locked([&](FramePool* pool) { pool->setFrameCountLimits(static_cast<int>(minFrames), static_cast<int>(maxFrames)); });
    }

    void stop() {
        locked([](FramePool* pool) { pool->stopWorker(); });
    }

    void clear() {
        locked([](FramePool* pool) { pool->clearFrames(); });
    }

    void close() {
        py::gil_scoped_release nogil;
        state->close();
    }

    bool closed() {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> guard(state->mutex);
        return state->pool == nullptr;
    }

    std::shared_ptr<LimiterBox> limiter() const { return state->limiter; }

private:
    template <class Body>
    auto locked(Body&& body) -> decltype(body(static_cast<FramePool*>(nullptr))) {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> guard(state->mutex);
        if (state->pool == nullptr) throw py::value_error("the pool has been closed");
        return body(state->pool);
    }

    std::shared_ptr<PoolState> state;
};

void checkBound(int64_t value, const char* what) {
    if (value < 0 || value > INT_MAX) throw py::value_error(std::string(what) + " must lie in 0 .. 2147483647");
}

}  // namespace

void bindLimiter(py::module_& module) {
    py::class_<LimiterBox, std::shared_ptr<LimiterBox>>(module, "MemoryLimiter", R"(Counts the bytes of frame buffers against a limit.

MemoryLimiter(minimum=12288000, maximum=1000000000): the limit is the machine's available
memory, clamped to [minimum, maximum]. A frame whose buffer would take the used amount past the
limit does not get it (MemoryError).)")
        .def(py::init([](int64_t minimum, int64_t maximum) {
                 checkBound(minimum, "minimum");
                 checkBound(maximum, "maximum");
                 if (minimum > maximum) throw py::value_error("minimum must not exceed maximum");
                 return std::make_shared<LimiterBox>(static_cast<int>(minimum), static_cast<int>(maximum));
             }),
             "minimum"_a = 12288000, "maximum"_a = 1000000000)
        .def_property_readonly("used", [](const LimiterBox& box) { return box.limiter.getMemoryUsed(); },
                               "Bytes held by frame buffers now.")
        .def_property(
            "limit", [](const LimiterBox& box) { return box.limiter.getMemoryLimit(); },
            [](LimiterBox& box, int64_t limit) {
                checkBound(limit, "limit");
                box.limiter.setMemoryLimit(static_cast<int>(limit));
            },
            "The limit in bytes; set, it is taken as it is.")
        .def_property_readonly("minimum", [](const LimiterBox& box) { return box.minimum; },
                               "The least limit the machine's memory may set, in bytes, as made.")
        .def_property_readonly("maximum", [](const LimiterBox& box) { return box.maximum; },
                               "The greatest limit the machine's memory may set, in bytes, as made.")
        .def("__repr__", [](const LimiterBox& box) {
            return "<zorvframekit.MemoryLimiter used=" + std::to_string(box.limiter.getMemoryUsed()) +
                   " limit=" + std::to_string(box.limiter.getMemoryLimit()) + ">";
        });
}

void bindPool(py::module_& module) {
    py::class_<Pool>(module, "FramePool", R"(Recycles frames of one format under a memory limiter.

FramePool(limiter=None): set_limits(minimum, maximum) starts a worker thread that keeps that many
frames ready. Frames from get() go back to the pool when released (or collected). Use it as a
context manager, or close() it: frames still out then stay usable and are deleted when released.)")
        .def(py::init<std::shared_ptr<LimiterBox>>(), "limiter"_a = py::none())
        .def("get", &Pool::get, "type"_a, "width"_a, "height"_a, py::kw_only(), "bottom_up"_a = false,
             "A frame of this type and size: one the pool holds, if it holds that format, or a new one.")
        .def_property_readonly("frame_count", &Pool::frameCount, "Frames held ready.")
        .def("set_limits", &Pool::setLimits, "minimum"_a, "maximum"_a,
             "Keeps between minimum and maximum frames ready, with a worker thread.")
        .def("stop", &Pool::stop, "Stops the worker and deletes the frames held; frames given back are deleted.")
        .def("clear", &Pool::clear, "Deletes the frames held.")
        .def("close", &Pool::close,
             "Stops the worker and deletes the frames held; frames still out stay usable, deleted when released. "
             "Later use raises ValueError; a second close does nothing.")
        .def_property_readonly("closed", &Pool::closed, "Whether close() has been called.")
        .def_property_readonly("limiter", &Pool::limiter, "The MemoryLimiter the pool's frame buffers count against.")
        .def("__enter__", [](py::object self) { return self; }, "The pool itself.")
        .def("__exit__", [](Pool& self, py::args) { self.close(); }, "Closes the pool.");
}

}  // namespace zfkpy

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "frame/ZORVFrame.h"
#include "ha_numpy.h"
#include "handles.h"
#include "layout.h"

namespace zfkpy {

using namespace pybind11::literals;

namespace {

// A caller's bytes, held (and so kept from being resized or freed) for as long as this lives.
// Made and destroyed with the GIL held; read without it.
class SourceBuffer {
public:
    explicit SourceBuffer(py::handle source) {
        if (!PyObject_CheckBuffer(source.ptr()))
            throw py::type_error(std::string("expected a bytes-like object, not ") + Py_TYPE(source.ptr())->tp_name);
        if (PyObject_GetBuffer(source.ptr(), &view, PyBUF_C_CONTIGUOUS) != 0) {
            PyErr_Clear();
            throw py::value_error("the source buffer must be contiguous (C order)");
        }
    }
    ~SourceBuffer() { PyBuffer_Release(&view); }
    SourceBuffer(const SourceBuffer&) = delete;
    SourceBuffer& operator=(const SourceBuffer&) = delete;

    const unsigned char* data() const { return static_cast<const unsigned char*>(view.buf); }
    int64_t size() const { return view.len; }

private:
    Py_buffer view;
};

int checkedInt(int64_t value, const char* what) {
    if (value < INT_MIN || value > INT_MAX) throw py::value_error(std::string(what) + " is out of range");
    return static_cast<int>(value);
}

std::string refusal(int64_t bytes, const zorvframekit::MemoryLimiter& limiter) {
    return "the memory limiter refuses a buffer of " + std::to_string(bytes) + " bytes: " +
           std::to_string(limiter.getMemoryUsed()) + " of its limit of " + std::to_string(limiter.getMemoryLimit()) +
           " bytes are in use";
}

// Refuses up front what the limiter would refuse, so that a failed copy leaves the frame as it
// was. (A packed YUV frame whose row layout changes drops its buffer before it asks for the new one;
// without this check a refusal would lose what it held.) Another frame of the same limiter may still
// take the bytes first: the caller checks the outcome too.
void makeRoom(IFrame* frame, int64_t newSize) {
    const zorvframekit::MemoryLimiter* limiter = frame->getMemoryLimiter();
    const bool holding = frame->hasData();
    if (limiter == nullptr || (holding && newSize == frame->getDataSize())) return;
    const int64_t freed = holding ? frame->getDataSize() : 0;
    if (int64_t(limiter->getMemoryUsed()) - freed + newSize > limiter->getMemoryLimit())
        throw MemoryRefused(refusal(newSize, *limiter));
}

void checkFilled(IFrame* frame) {
    if (frame->hasData()) return;
    const zorvframekit::MemoryLimiter* limiter = frame->getMemoryLimiter();
    if (limiter == nullptr) throw MemoryRefused("the frame has no memory limiter to grant its buffer");
    throw MemoryRefused(refusal(frame->getDataSize(), *limiter));
}

const char* colorSpaceName(int colorSpace) {
    switch (colorSpace) {
    case zorvframekit::kColorSpaceMonochrome:
        return "mono";
    case zorvframekit::kColorSpaceRGB:
        return "rgb";
    case zorvframekit::kColorSpaceYUV:
        return "yuv";
    default:
        return "unknown";
    }
}

int colorSpaceBit(std::string name) {
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (name == "mono") return zorvframekit::kColorSpaceMonochrome;
    if (name == "rgb") return zorvframekit::kColorSpaceRGB;
    if (name == "yuv") return zorvframekit::kColorSpaceYUV;
    throw py::value_error("unknown colour space '" + name + "': expected 'rgb', 'yuv', 'mono' or 'native'");
}

// The colour spaces a caller accepts, as the library's mask; 0 for the frame's native one.
int spaceMask(py::handle space) {
    if (space.is_none()) return 0;
    if (py::isinstance<py::str>(space)) {
        const std::string name = space.cast<std::string>();
        return name == "native" ? 0 : colorSpaceBit(name);
    }
    if (!py::hasattr(space, "__iter__")) throw py::type_error("space must be a colour space name or several of them");
    int mask = 0;
    for (py::handle item : space) {
        if (!py::isinstance<py::str>(item)) throw py::type_error("colour space names are strings");
        mask |= colorSpaceBit(item.cast<std::string>());
    }
    if (mask == 0) throw py::value_error("no colour space given");
    return mask;
}

const char* const noData = "the frame holds no data: fill it with copy_data or copy_region first";

std::string onlyNative(IFrame* f) {
    return typeName(f->getFrameType()) + " frames hold " + std::to_string(f->getBitDepth()) +
           "-bit samples, which only their native space ('mono') gives";
}

std::string noArray(IFrame* f) {
    const int* d = f->getDimensions();
    return "NumPy could not make a " + std::to_string(d[1]) + "x" + std::to_string(d[0]) + "x" + std::to_string(d[2]) +
           " array for the frame";
}

void checkName(const std::string& name) {
    if (name.find('\0') != std::string::npos) throw py::value_error("metadata names cannot hold NUL characters");
}

}  // namespace

template <class Body>
auto Frame::locked(Body&& body) -> decltype(body(static_cast<IFrame*>(nullptr))) {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> guard(mutex);
    if (frame == nullptr) throw py::value_error("the frame has been released");
    return body(frame);
}

Frame::Frame(IFrame* frame, std::shared_ptr<LimiterBox> limiter, std::shared_ptr<PoolState> pool)
    : frame(frame), limiterBox(std::move(limiter)), pool(std::move(pool)) {}

Frame::~Frame() {
    // Collected by Python: nobody else holds this frame, and the pool's mutex needs no GIL.
    try {
        releaseLocked();
    } catch (...) {
        // The library frees the frame before any failure leaves it.
    }
}

void Frame::releaseLocked() {
    if (frame == nullptr) return;
    IFrame* given = frame;
    if (pool) {
        std::lock_guard<std::mutex> guard(pool->mutex);
        pool->outstanding.erase(this);
        frame = nullptr;
        given->release();  // back to the pool, or deleted when the pool has let it go
    } else {
        frame = nullptr;
        given->release();
    }
}

void Frame::release() {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> guard(mutex);
    releaseLocked();
}

void Frame::copyData(py::handle source) {
    const SourceBuffer buffer(source);
    locked([&](IFrame* f) {
        const FrameTypeCode code = f->getFrameType();
        const int* dims = f->getDimensions();
        const int64_t expected = rawBytes(code, dims[0], dims[1]);
        if (buffer.size() != expected)
            throw py::value_error("a " + std::to_string(dims[0]) + "x" + std::to_string(dims[1]) + " " + typeName(code) +
                                  " frame takes " + std::to_string(expected) + " bytes, the buffer has " +
                                  std::to_string(buffer.size()));
        makeRoom(f, expected);
        // A whole-frame region returns a packed YUV frame to its plain layout before the one-block
        // copy; copyData alone would copy the size of whatever layout the last region left.
        if (isPackedYUV(code))
            f->copyRegion(buffer.data(), dims[0], dims[1], 0, 0);
        else
            f->copyData(buffer.data());
        checkFilled(f);
    });
}

void Frame::copyRegion(py::handle source, int64_t sourceWidth, int64_t sourceHeight, int64_t x, int64_t y) {
    const SourceBuffer buffer(source);
    locked([&](IFrame* f) {
        const FrameTypeCode code = f->getFrameType();
        const int* dims = f->getDimensions();
        const int width = dims[0], height = dims[1];
        const std::string size = std::to_string(sourceWidth) + "x" + std::to_string(sourceHeight);
        if (sourceWidth <= 0 || sourceHeight <= 0 || sourceWidth > INT_MAX || sourceHeight > INT_MAX)
            throw py::value_error("a " + size + " source image cannot be");
        // Compared as x > sourceWidth - width: both sizes are in 1 to INT_MAX, while x + width would
        // pass 64 bits for an x near 2^63 and fit.
        if (x < 0 || y < 0 || x > sourceWidth - width || y > sourceHeight - height)
            throw py::value_error("a " + std::to_string(width) + "x" + std::to_string(height) + " window at (" +
                                  std::to_string(x) + ", " + std::to_string(y) + ") does not fit in a " + size +
                                  " source");
        if (isPlanarYUV(code)) {
            // The library reads a planar source's chroma rows as width / f samples long.
            const int factor = subsampling(code);
            if (sourceWidth % factor != 0 || sourceHeight % factor != 0)
                throw py::value_error(typeName(code) + " windows are cut from images whose width and height are " +
                                      "multiples of " + std::to_string(factor) + " (copy_data takes a whole frame)");
        }
        const int64_t expected = rawBytes(code, static_cast<int>(sourceWidth), static_cast<int>(sourceHeight));
        if (expected <= 0) throw py::value_error("a " + size + " " + typeName(code) + " source image is too large");
        if (buffer.size() != expected)
            throw py::value_error("a " + size + " " + typeName(code) + " source image takes " + std::to_string(expected) +
                                  " bytes, the buffer has " + std::to_string(buffer.size()));

        // A packed YUV window that starts inside a pixel group takes one group more a row.
        int64_t newSize = f->getDataSize();
        if (isPackedYUV(code)) {
            const int n = pixelsPerGroup(code);
            newSize = rawBytes(code, x % n == 0 ? width : width + n, height);
        }
        makeRoom(f, newSize);
        f->copyRegion(buffer.data(), static_cast<int>(sourceWidth), static_cast<int>(sourceHeight), static_cast<int>(x),
                      static_cast<int>(y));
        checkFilled(f);
    });
}

py::object Frame::toArray(py::handle space, const std::string& order) {
    const int mask = spaceMask(space);
    if (order == "C") return rowMajorArray(mask);
    if (order != "F")
        throw py::value_error("order is 'C' (rows, NumPy's own order) or 'F' (columns, the host array), not '" + order +
                              "'");
    HostArray array = locked([&](IFrame* f) {
        if (!f->hasData()) throw py::value_error(noData);
        HostArray made = mask == 0 ? f->getNativeHostArray() : f->getHostArray(mask);
        if (made != nullptr) return made;
        // Only 8-bit samples convert; anything else the library asked for, NumPy did not make.
        if (mask != 0 && (mask & f->getColorSpace()) == 0 && f->getHostClassID() != haUint8Class)
            throw py::value_error(onlyNative(f));
        throw MemoryRefused(noArray(f));
    });
    py::object result = py::reinterpret_steal<py::object>(haTakeObject(array));
    // A native monochrome array is {height, width, 1}; Python wants the plain matrix (a view).
    const py::tuple shape = result.attr("shape");
    if (shape.size() == 3 && shape[2].cast<int>() == 1) result = result[py::make_tuple(py::ellipsis(), 0)];
    return result;
}

py::object Frame::rowMajorArray(int mask) {
    PyObject* made = locked([&](IFrame* f) {
        if (!f->hasData()) throw py::value_error(noData);
        zorvframekit::RowMajorImage* image = zorvframekit::rowMajorImageOf(f);
        const int accepted = mask == 0 ? f->getColorSpace() : mask;
        const zorvframekit::RowMajorLayout layout = image->rowMajorLayout(accepted);
        if (layout.colorSpace == 0) throw py::value_error(onlyNative(f));
        // Made with the GIL, as the host array library makes its arrays while a frame is held, and
        // filled without it.
        const int* d = f->getDimensions();
        PyObject* array = nullptr;
        void* pixels = nullptr;
        {
            py::gil_scoped_acquire gil;
            std::vector<py::ssize_t> shape = {d[1], d[0]};
            if (layout.bands > 1) shape.push_back(layout.bands);
            try {
                py::array fresh(layout.sampleBytes == 1 ? py::dtype::of<uint8_t>() : py::dtype::of<uint16_t>(), shape);
                pixels = fresh.mutable_data();
                array = fresh.release().ptr();
            } catch (const py::error_already_set&) {
                // NumPy refused the size, or memory ran out: said below, on this side of the GIL.
            }
        }
        if (array == nullptr) throw MemoryRefused(noArray(f));
        if (!image->fillRowMajor(accepted, pixels)) {
            py::gil_scoped_acquire gil;
            Py_DECREF(array);
            throw MemoryRefused("no memory for the scratch rows of a conversion");
        }
        return array;
    });
    return py::reinterpret_steal<py::object>(made);
}

py::tuple Frame::toBitmap() {
    // The size depends on the frame's dimensions alone, which never change.
    std::pair<int, int> size = locked([&](IFrame* f) {
        if (!f->hasData()) throw py::value_error(noData);
        return std::make_pair(f->getDimensions()[1], f->getBitmapSize());
    });
    const int height = size.first, bytes = size.second;
    py::array_t<uint8_t> rows({height, bytes / height});
    unsigned char* pixels = rows.mutable_data();
    std::memset(pixels, 0, static_cast<size_t>(bytes));  // the pad bytes, which the frame does not write
    BITMAPINFOHEADER header{};
    locked([&](IFrame* f) {
        if (!f->hasData()) throw py::value_error(noData);
        f->fillBitmap(&header, pixels);
    });
    py::dict fields("size"_a = header.biSize, "width"_a = header.biWidth, "height"_a = header.biHeight,
                    "planes"_a = header.biPlanes, "bit_count"_a = header.biBitCount,
                    "compression"_a = header.biCompression, "size_image"_a = header.biSizeImage,
                    "x_pels_per_meter"_a = header.biXPelsPerMeter, "y_pels_per_meter"_a = header.biYPelsPerMeter,
                    "clr_used"_a = header.biClrUsed, "clr_important"_a = header.biClrImportant);
    return py::make_tuple(fields, rows);
}

double Frame::time() {
    return locked([](IFrame* f) { return f->getTime(); });
}

void Frame::setTime(double time) {
    locked([&](IFrame* f) { f->setTime(time); });
}

std::string Frame::colorSpace() {
    return colorSpaceName(locked([](IFrame* f) { return f->getColorSpace(); }));
}

int Frame::bitDepth() {
    return locked([](IFrame* f) { return f->getBitDepth(); });
}

py::tuple Frame::dimensions() {
    std::vector<int> dims = locked([](IFrame* f) {
        const int* d = f->getDimensions();
        return std::vector<int>(d, d + 3);
    });
    return py::make_tuple(dims[0], dims[1], dims[2]);
}

int Frame::dataSize() {
    return locked([](IFrame* f) { return f->getDataSize(); });
}

FrameTypeCode Frame::typeCode() {
    return locked([](IFrame* f) { return f->getFrameType(); });
}

std::string Frame::format() {
    return typeName(typeCode());
}

bool Frame::hasData() {
    return locked([](IFrame* f) { return f->hasData(); });
}

bool Frame::released() {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> guard(mutex);
    return frame == nullptr;
}

std::shared_ptr<LimiterBox> Frame::limiter() {
    locked([](IFrame*) {});
    return limiterBox;
}

std::string Frame::repr() {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> guard(mutex);
    if (frame == nullptr) return "<zorvframekit.Frame (released)>";
    const int* d = frame->getDimensions();
    return "<zorvframekit.Frame " + typeName(frame->getFrameType()) + " " + std::to_string(d[0]) + "x" +
           std::to_string(d[1]) + (frame->hasData() ? "" : ", no data") + ">";
}

py::list Frame::metadataNames() {
    std::vector<std::string> names = locked([](IFrame* f) {
        std::vector<const char*> pointers(static_cast<size_t>(f->getMetaDataCount()));
        f->getMetaDataNames(pointers.data());
        return std::vector<std::string>(pointers.begin(), pointers.end());
    });
    py::list result;
    for (const std::string& name : names) result.append(py::bytes(name));
    return result;
}

py::object Frame::metadataValue(const std::string& name) {
    checkName(name);
    HostArray value = locked([&](IFrame* f) {
        HostArray made = f->getMetaData(name.c_str());
        if (made != nullptr) return made;
        std::vector<const char*> names(static_cast<size_t>(f->getMetaDataCount()));
        f->getMetaDataNames(names.data());
        for (const char* held : names)
            if (name == held) throw MemoryRefused("NumPy could not make the value of '" + name + "'");
        return made;
    });
    if (value == nullptr) return py::none();
    return py::reinterpret_steal<py::object>(haTakeObject(value));
}

void Frame::addDoubleMetadata(const std::string& name, double value) {
    checkName(name);
    locked([&](IFrame* f) { f->addDoubleMetaData(name.c_str(), value); });
}

void Frame::addTextMetadata(const std::string& name, const std::string& text) {
    checkName(name);
    if (text.find('\0') != std::string::npos) throw py::value_error("metadata text cannot hold NUL characters");
    locked([&](IFrame* f) { f->addCStrMetaData(name.c_str(), text.c_str()); });
}

void Frame::addTimeMetadata(const std::string& name, double time) {
    checkName(name);
    locked([&](IFrame* f) { f->addTimeVectorMetaData(name.c_str(), time); });
}

namespace {

FrameTypeCode typeArgument(py::handle type, bool bottomUp) {
    if (py::isinstance<py::str>(type)) return typeCodeOf(type.cast<std::string>(), bottomUp);
    if (py::isinstance<py::int_>(type) && !py::isinstance<py::bool_>(type)) {
        int overflow = 0;
        const long long code = PyLong_AsLongLongAndOverflow(type.ptr(), &overflow);
        return typeCodeOf(overflow != 0 ? -1 : static_cast<int64_t>(code), bottomUp);
    }
    throw py::type_error("a frame type is a type code (int) or a format name (str)");
}

}  // namespace

// Also what FramePool.get checks its arguments with.
FrameTypeCode frameArguments(py::handle type, int64_t width, int64_t height, bool bottomUp, int& w, int& h) {
    const FrameTypeCode code = typeArgument(type, bottomUp);
    if (width <= 0 || height <= 0) throw py::value_error("a frame's width and height must be positive");
    w = checkedInt(width, "width");
    h = checkedInt(height, "height");
    return code;
}

std::string tooLarge(FrameTypeCode code, int width, int height) {
    return "a " + std::to_string(width) + "x" + std::to_string(height) + " " + typeName(code) + " frame is too large";
}

void bindFrame(py::module_& module) {
    py::class_<Frame>(module, "Frame", R"(A captured video frame of one pixel layout.

Frame(type, width, height, limiter=None, *, bottom_up=False): type is a type code or a format
name (zorvframekit.formats() lists them). The frame gets its pixel buffer when first filled,
under `limiter`, or under zorvframekit.default_limiter.)")
        .def(py::init([](py::handle type, int64_t width, int64_t height, std::shared_ptr<LimiterBox> limiter,
                         bool bottomUp) {
                 int w = 0, h = 0;
                 const FrameTypeCode code = frameArguments(type, width, height, bottomUp, w, h);
                 IFrame* frame = frameFactory(code, w, h);
                 if (frame == nullptr) throw py::value_error(tooLarge(code, w, h));
                 if (!limiter) limiter = defaultLimiter();
                 frame->setMemoryLimiter(&limiter->limiter);
                 return std::unique_ptr<Frame>(new Frame(frame, std::move(limiter), nullptr));
             }),
             "type"_a, "width"_a, "height"_a, "limiter"_a = py::none(), py::kw_only(), "bottom_up"_a = false)
        .def("copy_data", &Frame::copyData, "buffer"_a,
             "Fills the frame with a whole raw frame (any bytes-like object of exactly the frame's raw size).")
        .def("copy_region", &Frame::copyRegion, "source"_a, "source_width"_a, "source_height"_a, "x"_a, "y"_a,
             "Fills the frame with the window at (x, y) of a larger raw image of the same type (any bytes-like object "
             "of exactly that image's raw size).")
        .def("to_array", &Frame::toArray, "space"_a = py::none(), "order"_a = "C",
             R"(The pixels as a new NumPy array, the image's top row first whatever the frame's row order.

Shape (height, width) for monochrome, (height, width, 3) for RGB or YUV; dtype uint8, or uint16
for monochrome frames of 10 to 16 bits (their values unshifted, in native byte order), which only
their native space gives.

space: None or 'native' for the frame's own colour space, or 'rgb', 'yuv', 'mono', or several
accepted ones (an iterable of names: the native space is preferred, then RGB, YUV, monochrome).
RGB is full range; YUV is BT.601 video range (Y 16-235), as the frame's own conversions make it.

order: 'C' (the default) gives a C-contiguous array, NumPy's own layout, made straight from the
frame's rows: what PIL.Image.fromarray, cv2, imageio and torch.from_numpy work on as it stands,
with no transposing copy first.
'F' gives the same values as the host array the library hands an engine's host: Fortran order,
strides (1, height, height * width) for uint8, one band plane after another.

Raises ValueError when the frame holds no data, has been released, or is asked for a space it
cannot give; MemoryError when NumPy cannot make the array.)")
        .def("to_bitmap", &Frame::toBitmap,
             "The frame as a Windows bitmap: (header dict, rows), the rows bottom row first, each padded to 4 bytes.")
        .def("release", &Frame::release, "Gives the frame up: back to its pool, or deleted. Later use raises ValueError.")
        .def("__enter__", [](py::object self) { return self; }, "The frame itself.")
        .def("__exit__", [](Frame& self, py::args) { self.release(); }, "Releases the frame.")
        .def_property("time", &Frame::time, &Frame::setTime, "The frame's time, seconds since 1970 (float).")
        .def_property_readonly("color_space", &Frame::colorSpace, "The native colour space: 'mono', 'rgb' or 'yuv'.")
        .def_property_readonly("bit_depth", &Frame::bitDepth, "Bits of a sample: 8, or 10 to 16 for wider monochrome.")
        .def_property_readonly("dimensions", &Frame::dimensions, "(width, height, bands)")
        .def_property_readonly("data_size", &Frame::dataSize,
                               "Bytes of the raw buffer (a packed YUV window starting inside a pixel group adds a group a row).")
        .def_property_readonly("type_code", &Frame::typeCode, "The frame type code (int), row-order bit 0x100 included.")
        .def_property_readonly("format", &Frame::format, "The format's name, as formats() lists it.")
        .def_property_readonly("has_data", &Frame::hasData,
                               "Whether the frame holds data: a buffer, filled by copy_data or copy_region.")
        .def_property_readonly("released", &Frame::released, "Whether release() has been called.")
        .def_property_readonly("limiter", &Frame::limiter, "The MemoryLimiter the frame's buffer counts against.")
        .def("__repr__", &Frame::repr)
        .def("_metadata_names", &Frame::metadataNames)
        .def("_metadata_value", &Frame::metadataValue)
        .def("_add_double_metadata", &Frame::addDoubleMetadata)
        .def("_add_text_metadata", &Frame::addTextMetadata)
        .def("_add_time_metadata", &Frame::addTimeMetadata);
}

}  // namespace zfkpy

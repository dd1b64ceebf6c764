// zorvframekit for Python: frames, pools and limiters of the frame library, whose host arrays are
// NumPy arrays.
#include <climits>

#include "handles.h"
#include "layout.h"

namespace zfkpy {
namespace {

py::list formats(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX)
        throw py::value_error("a frame's width and height must be positive");
    py::list rows;
    for (const zfk::FormatInfo& format : zfk::allFormats()) {
        const FrameTypeCode code = zfk::codeOf(format, false);
        const int64_t bytes = rawBytes(code, static_cast<int>(width), static_cast<int>(height));
        rows.append(py::make_tuple(format.name, code, std::string(zfk::colorSpaceName(getFrameTypeColorSpace(code))),
                                   bytes > 0 ? py::object(py::int_(bytes)) : py::object(py::none()),
                                   format.description, format.hasRowOrder));
    }
    return rows;
}

}  // namespace
}  // namespace zfkpy

PYBIND11_MODULE(_zorvframekit, module) {
    using namespace zfkpy;
    using namespace pybind11::literals;
    module.doc() = "The frame library's classes; import zorvframekit, not this.";
    py::register_exception_translator([](std::exception_ptr raised) {
        try {
            if (raised) std::rethrow_exception(raised);
        } catch (const MemoryRefused& refused) {
            PyErr_SetString(PyExc_MemoryError, refused.what());
        }
    });
    bindLimiter(module);
    bindFrame(module);
    bindPool(module);
    module.attr("default_limiter") = defaultLimiter();
    module.def("timestamp", [] { return getTimestamp(); }, "The time now, seconds since 1970, from the tick counter.");
    module.def(
        "convert_tick",
        [](int64_t tick) {
            if (tick < 0 || tick > 0xFFFFFFFFll) throw py::value_error("a tick is an unsigned 32-bit millisecond count");
            return convertSysTimeToLocalTime(static_cast<uint32_t>(tick));
        },
        "tick"_a, "Seconds since 1970 of a reading of the millisecond tick counter.");
    module.def("_formats", &formats, "width"_a, "height"_a);
}

// zorvframekit for Python: frames, pools and limiters of the frame library, whose host arrays are
// NumPy arrays.
#include <climits>
#include <memory>

#include "frame/ZORVFrame.h"
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

// The kernel levels, by the names bench/'s --kernels takes, lowest first.
const char* const kLevelNames[zorvframekit::kKernelLevelCount] = {"plain", "sse2", "ssse3", "avx2", "avx-512"};

// The library's kernel levels are reached through a frame: it exports nothing for them.
template <typename Use>
auto throughAFrame(Use use) -> decltype(use(static_cast<zorvframekit::RowMajorImage*>(nullptr))) {
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> probe(frameFactory(0x11000000, 1, 1));
    if (!probe) throw std::bad_alloc();
    return use(zorvframekit::rowMajorImageOf(probe.get()));
}

py::list kernelLevels() {
    py::list names;
    const int best = throughAFrame([](zorvframekit::RowMajorImage* image) { return int(image->machineKernelLevel()); });
    for (int level = 0; level <= best; ++level) names.append(kLevelNames[level]);
    return names;
}

std::string kernels(py::object level) {
    return throughAFrame([&](zorvframekit::RowMajorImage* image) {
        if (!level.is_none()) {
            const std::string wanted = level.cast<std::string>();
            int found = -1;
            for (int k = 0; k < zorvframekit::kKernelLevelCount; ++k)
                if (wanted == kLevelNames[k]) found = k;
            if (found < 0)
                throw py::value_error("unknown kernel level '" + wanted + "': plain, sse2, ssse3, avx2 or avx-512");
            if (!image->runKernelLevel(static_cast<zorvframekit::KernelLevel>(found)))
                throw py::value_error("this machine cannot run the " + wanted + " kernels");
        }
        return std::string(kLevelNames[static_cast<int>(image->activeKernelLevel())]);
    });
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
    module.def("_kernel_levels", &kernelLevels, "The kernel levels this machine runs, lowest first.");
    module.def("_kernels", &kernels, "level"_a = py::none(),
               "The kernel level conversions run at, process-wide; given a level, runs that one from now on.");
}

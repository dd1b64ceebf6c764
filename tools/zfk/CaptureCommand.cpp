// zfk formats and zfk capture: what the library knows, and the test scene as a camera delivers it.
#include "Commands.h"
#include "ImageFiles.h"
#include "SyntheticCamera.h"

namespace zfk {

bool isYUVPlanar(const FormatInfo& format) { return format.family == zorvframekit::kFamilyYUVPlanar; }
int subsamplingOf(const FormatInfo& format) { return format.formatIndex == 0 ? 4 : 2; }

int runFormats(int width, int height, const Console& console) {
    std::fprintf(console.out, "%-9s %-10s %12s  %-5s  %s\n", "name", "code", "bytes", "space", "layout");
    for (const FormatInfo& format : allFormats()) {
        const FrameTypeCode code = codeOf(format, false);
        const int64_t bytes = rawFrameBytes(code, width, height);
        std::fprintf(console.out, "%-9s 0x%08X %12s  %-5s  %s%s\n", format.name, code,
                     bytes > 0 ? std::to_string(bytes).c_str() : "too large",
                     colorSpaceName(getFrameTypeColorSpace(code)), format.description,
                     format.hasRowOrder ? " (bottom-up: code | 0x100)" : "");
    }
    std::fprintf(console.out, "(bytes per %dx%d frame)\n", width, height);
    return 0;
}

int runCapture(const CaptureOptions& options, const Console&) {
    const FormatInfo& format = *options.choice.format;
    const int width = options.size.width, height = options.size.height;
    if (isYUVPlanar(format) && (width % subsamplingOf(format) || height % subsamplingOf(format)))
        fail(std::string(format.name) + " captures need sizes that are multiples of " + std::to_string(subsamplingOf(format)));
    if (rawFrameBytes(options.choice.code, width, height) <= 0)
        fail("a " + options.size.text + " frame does not fit this format");
    if (!RGBImage::fits(width, height)) fail("a " + options.size.text + " scene does not fit this machine's address space");
    const RGBImage scene = renderScene(width, height, 0, 0, width, height);
    std::string error;
    if (!writeFileWhole(options.output, encodeRaw(format, (options.choice.code & 0x100) != 0, scene), error)) fail(error);
    return 0;
}

}  // namespace zfk

// zfk convert: raw camera dumps to pictures (the frame's own bitmap rendering, as .bmp or .png) and
// NumPy arrays (its host array, column-major, written as it stands).
#include <filesystem>
#include <map>
#include <memory>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "Commands.h"
#include "ImageFiles.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace zfk {

namespace {

struct Job {
    std::string input, output;
};

std::string extensionOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

std::vector<uint8_t> convertOne(const ConvertOptions& options, const std::vector<uint8_t>& raw, const std::string& outputPath) {
    zorvframekit::MemoryLimiter limiter;
    limiter.setMemoryLimit(2147483647);
    const Window& window = options.window;
    const int frameWidth = options.windowed ? window.width : options.size.width;
    const int frameHeight = options.windowed ? window.height : options.size.height;
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(options.choice.code, frameWidth, frameHeight));
    if (!frame) fail("a " + std::to_string(frameWidth) + "x" + std::to_string(frameHeight) + " frame does not fit this format");
    frame->setMemoryLimiter(&limiter);
    if (options.windowed)
        frame->copyRegion(raw.data(), options.size.width, options.size.height, window.x, window.y);
    else
        frame->copyData(raw.data());
    if (!frame->hasData()) fail("the frame could not be filled (out of memory?)");

    const std::string ext = extensionOf(outputPath);
    if (ext == ".bmp" || ext == ".png") {
        Bitmap bitmap;
        bitmap.pixels.resize(static_cast<size_t>(frame->getBitmapSize()));
        frame->fillBitmap(&bitmap.header, bitmap.pixels.data());
        return ext == ".bmp" ? bmpFileBytes(bitmap) : pngFileBytes(decodeBitmap(bitmap));
    }
    const std::string& space = options.space;
    HostArray array = nullptr;
    if (space == "native") array = frame->getNativeHostArray();
    else if (space == "rgb") array = frame->getHostArray(zorvframekit::kColorSpaceRGB);
    else if (space == "yuv") array = frame->getHostArray(zorvframekit::kColorSpaceYUV);
    else array = frame->getHostArray(zorvframekit::kColorSpaceMonochrome);
    if (!array)
        fail(std::string(options.choice.format->name) + " frames cannot be had as " + space + " (only 8-bit frames convert)");
    std::vector<uint8_t> bytes = npyFileBytes(array);
    haFree(array);
    return bytes;
}

// What is asked, checked before anything is read: one job per input.
std::vector<Job> planJobs(const ConvertOptions& options) {
    const FormatInfo& format = *options.choice.format;
    const std::string& space = options.space;
    if (space != "native" && space != "rgb" && space != "yuv" && space != "mono")
        fail("bad --space '" + space + "': expected native, rgb, yuv or mono");
    if (options.windowed) {
        const Window& window = options.window;
        if (int64_t(window.x) + window.width > options.size.width || int64_t(window.y) + window.height > options.size.height)
            fail("window " + window.text + " does not fit in the " + options.size.text + " image");
        const int f = subsamplingOf(format);
        if (isYUVPlanar(format) && (options.size.width % f || options.size.height % f))
            fail(std::string("windows are cut from ") + format.name + " images whose sizes are multiples of " +
                 std::to_string(f));
    }

    std::vector<Job> jobs;
    if (!options.outDir.empty()) {
        if (options.to != "bmp" && options.to != "png" && options.to != "npy")
            fail("bad --to '" + options.to + "': expected bmp, png or npy");
        if (options.files.empty()) fail("give at least one input file");
        for (const std::string& input : options.files)
            jobs.push_back({input, (std::filesystem::path(options.outDir) /
                                    (std::filesystem::path(input).stem().string() + "." + options.to))
                                       .string()});
    } else {
        if (options.toGiven) fail("--to goes with --out-dir");
        if (options.files.size() != 2) fail("give one input and one output file (or --out-dir DIR and inputs)");
        jobs.push_back({options.files[0], options.files[1]});
    }
    const int frameWidth = options.windowed ? options.window.width : options.size.width;
    const int frameHeight = options.windowed ? options.window.height : options.size.height;
    std::map<std::string, std::string> writers;  // output, the input that makes it
    for (const Job& job : jobs) {
        const std::string ext = extensionOf(job.output);
        if (ext != ".bmp" && ext != ".png" && ext != ".npy") fail("output " + job.output + " must end in .bmp, .png or .npy");
        if (ext != ".npy" && options.spaceGiven)
            fail("--space goes with .npy outputs: a picture is always the frame's own RGB rendering");
        if (ext == ".png" && !pngFits(frameWidth, frameHeight))
            fail("a " + std::to_string(frameWidth) + "x" + std::to_string(frameHeight) +
                 " picture is too large for PNG here; write .bmp or .npy");
        const std::string key = std::filesystem::path(job.output).lexically_normal().string();
        const auto written = writers.emplace(key, job.input);
        if (!written.second)
            fail("inputs " + written.first->second + " and " + job.input + " would both write " + job.output);
    }
    return jobs;
}

}  // namespace

int runConvert(const ConvertOptions& options, const Console& console) {
    const FormatInfo& format = *options.choice.format;
    const std::vector<Job> jobs = planJobs(options);
    const int64_t expected = rawFrameBytes(options.choice.code, options.size.width, options.size.height);
    if (expected <= 0) fail("a " + options.size.text + " image does not fit " + format.name);
    if (options.windowed) {
        const int grid = isYUVPlanar(format) ? subsamplingOf(format) : 1;
        if (options.window.x % grid || options.window.y % grid)
            std::fprintf(console.err,
                         "zfk convert: warning: the window's origin %d,%d is off the %dx%d chroma grid of %s: "
                         "its chroma comes from the samples it starts inside\n",
                         options.window.x, options.window.y, grid, grid, format.name);
    }

    // Every input is read and checked before anything is written.
    std::vector<std::vector<uint8_t>> inputs;
    for (const Job& job : jobs) {
        std::vector<uint8_t> raw;
        std::string error;
        if (!readFile(job.input, expected, "a " + options.size.text + " " + format.name + " image", raw, error)) fail(error);
        inputs.push_back(std::move(raw));
    }
    const bool progress = jobs.size() > 1 && isatty(fileno(console.err));
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (progress) std::fprintf(console.err, "\r[%zu/%zu] %s", i + 1, jobs.size(), jobs[i].input.c_str());
        const std::vector<uint8_t> bytes = convertOne(options, inputs[i], jobs[i].output);
        std::string error;
        if (!writeFileWhole(jobs[i].output, bytes, error)) fail(error);
    }
    if (progress) std::fprintf(console.err, "\n");
    return 0;
}

}  // namespace zfk

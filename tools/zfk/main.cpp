// zfk: a demo of the frame library on a built-in scene, a raw-frame converter, and a list of the
// frame types it knows.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "FormatTable.h"
#include "ImageFiles.h"
#include "SyntheticCamera.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using namespace zfk;
using zorvframekit::MemoryLimiter;

namespace {

const int kUsageError = 2;

struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) { throw Failure{message}; }

const char* const kUsage =
    "usage:\n"
    "  zfk demo [--out DIR] [--size WxH]\n"
    "      renders a test scene into every frame type, writes a bitmap of each and a contact\n"
    "      sheet to DIR (default out/demo), and prints how each converts\n"
    "  zfk convert (--format NAME | --code 0xHEX) --size WxH [--bottom-up] [--window X,Y,W,H]\n"
    "              [--space native|rgb|yuv|mono] IN.raw OUT.bmp|OUT.npy\n"
    "  zfk convert ... --out-dir DIR [--to bmp|npy] IN.raw...\n"
    "      converts raw frames (IN is a whole image of WxH; --window cuts a frame out of it)\n"
    "  zfk formats [--size WxH]\n"
    "      lists every frame type with its type code and bytes per frame\n"
    "  zfk capture (--format NAME | --code 0xHEX) --size WxH [--bottom-up] OUT.raw\n"
    "      writes the test scene as a raw frame, as a camera would deliver it\n";

// Options of the form --name value, and the plain arguments, in order.
struct Arguments {
    std::map<std::string, std::string> options;
    std::vector<std::string> flags;
    std::vector<std::string> plain;

    Arguments(int argc, char** argv, int first, const std::vector<std::string>& flagNames) {
        for (int i = first; i < argc; ++i) {
            std::string arg = argv[i];
            if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
                if (std::find(flagNames.begin(), flagNames.end(), arg) != flagNames.end()) {
                    if (std::count(flags.begin(), flags.end(), arg)) fail("option " + arg + " is given twice");
                    flags.push_back(arg);
                    continue;
                }
                if (i + 1 >= argc) fail("option " + arg + " needs a value");
                if (options.count(arg)) fail("option " + arg + " is given twice");
                options[arg] = argv[++i];
            } else {
                plain.push_back(arg);
            }
        }
    }
    bool has(const std::string& name) const { return options.count(name) || std::count(flags.begin(), flags.end(), name); }
    std::string get(const std::string& name, const std::string& fallback = "") const {
        auto found = options.find(name);
        return found == options.end() ? fallback : found->second;
    }
    void allowOnly(const std::vector<std::string>& names) const {
        for (const auto& option : options)
            if (std::find(names.begin(), names.end(), option.first) == names.end()) fail("unknown option " + option.first);
    }
};

bool parseInt(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && value >= -2147483648LL && value <= 2147483647LL;
}

void parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), w) || !parseInt(text.substr(x + 1), h) || w <= 0 || h <= 0)
        fail("bad size '" + text + "': expected WxH with positive numbers, e.g. 640x480");
    width = int(w);
    height = int(h);
}

struct Window {
    int x = 0, y = 0, width = 0, height = 0;
};

Window parseWindow(const std::string& text) {
    std::vector<long long> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        long long value = 0;
        if (!parseInt(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), value))
            fail("bad window '" + text + "': expected X,Y,W,H");
        parts.push_back(value);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 4 || parts[0] < 0 || parts[1] < 0 || parts[2] <= 0 || parts[3] <= 0)
        fail("bad window '" + text + "': expected X,Y,W,H with X, Y >= 0 and W, H > 0");
    return Window{int(parts[0]), int(parts[1]), int(parts[2]), int(parts[3])};
}

// The format named by --format or --code, with the row order of --bottom-up.
struct Choice {
    const FormatInfo* format = nullptr;
    FrameTypeCode code = 0;
};

Choice chooseFormat(const Arguments& args) {
    Choice choice;
    if (args.has("--format") == args.has("--code")) fail("give exactly one of --format NAME and --code 0xHEX");
    if (args.has("--format")) {
        choice.format = findFormat(args.get("--format"));
        if (!choice.format) fail("unknown format '" + args.get("--format") + "' (zfk formats lists them)");
        choice.code = codeOf(*choice.format, false);
    } else {
        const std::string text = args.get("--code");
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text.c_str(), &end, 16);
        if (text.empty() || *end != '\0' || value > 0xFFFFFFFFull) fail("bad type code '" + text + "': expected hex, e.g. 0x11000000");
        choice.code = static_cast<FrameTypeCode>(value);
        choice.format = findFormat(choice.code);
        std::unique_ptr<IFrame, zorvframekit::FrameRelease> probe(frameFactory(choice.code, 1, 1));
        if (!choice.format || !probe) fail("unknown type code '" + text + "' (zfk formats lists them)");
    }
    if (std::count(args.flags.begin(), args.flags.end(), "--bottom-up")) {
        if (!choice.format->hasRowOrder) fail(std::string(choice.format->name) + " frames are always top-down; drop --bottom-up");
        choice.code |= 0x100;
    }
    return choice;
}

double microsecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

bool isYUVPlanar(const FormatInfo& format) { return format.family == zorvframekit::kFamilyYUVPlanar; }
int subsamplingOf(const FormatInfo& format) { return format.formatIndex == 0 ? 4 : 2; }

// ---- formats ------------------------------------------------------------------------------

int runFormats(const Arguments& args) {
    args.allowOnly({"--size"});
    int width = 640, height = 480;
    if (args.has("--size")) parseSize(args.get("--size"), width, height);
    std::printf("%-9s %-10s %12s  %-5s  %s\n", "name", "code", "bytes", "space", "layout");
    for (const FormatInfo& format : allFormats()) {
        const FrameTypeCode code = codeOf(format, false);
        const int64_t bytes = rawFrameBytes(code, width, height);
        std::printf("%-9s 0x%08X %12s  %-5s  %s%s\n", format.name, code,
                    bytes > 0 ? std::to_string(bytes).c_str() : "too large", colorSpaceName(getFrameTypeColorSpace(code)),
                    format.description, format.hasRowOrder ? " (bottom-up: code | 0x100)" : "");
    }
    std::printf("(bytes per %dx%d frame)\n", width, height);
    return 0;
}

// ---- capture ------------------------------------------------------------------------------

int runCapture(const Arguments& args) {
    args.allowOnly({"--format", "--code", "--size"});
    const Choice choice = chooseFormat(args);
    if (!args.has("--size")) fail("--size WxH is needed");
    int width = 0, height = 0;
    parseSize(args.get("--size"), width, height);
    if (args.plain.size() != 1) fail("give one output file");
    if (isYUVPlanar(*choice.format) && (width % subsamplingOf(*choice.format) || height % subsamplingOf(*choice.format)))
        fail(std::string(choice.format->name) + " captures need sizes that are multiples of " +
             std::to_string(subsamplingOf(*choice.format)));
    if (rawFrameBytes(choice.code, width, height) <= 0) fail("a " + args.get("--size") + " frame does not fit this format");
    if (!RGBImage::fits(width, height)) fail("a " + args.get("--size") + " scene does not fit this machine's address space");
    const RGBImage scene = renderScene(width, height, 0, 0, width, height);
    std::string error;
    if (!writeFileWhole(args.plain[0], encodeRaw(*choice.format, (choice.code & 0x100) != 0, scene), error)) fail(error);
    return 0;
}

// ---- convert ------------------------------------------------------------------------------

struct Job {
    std::string input, output;
};

std::string extensionOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

std::vector<uint8_t> convertOne(const Choice& choice, int width, int height, const Window& window, bool windowed,
                                const std::string& space, const std::vector<uint8_t>& raw, const std::string& outputPath) {
    MemoryLimiter limiter;
    limiter.setMemoryLimit(2147483647);
    const int frameWidth = windowed ? window.width : width, frameHeight = windowed ? window.height : height;
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(choice.code, frameWidth, frameHeight));
    if (!frame) fail("a " + std::to_string(frameWidth) + "x" + std::to_string(frameHeight) + " frame does not fit this format");
    frame->setMemoryLimiter(&limiter);
    if (windowed)
        frame->copyRegion(raw.data(), width, height, window.x, window.y);
    else
        frame->copyData(raw.data());
    if (!frame->hasData()) fail("the frame could not be filled (out of memory?)");

    if (extensionOf(outputPath) == ".bmp") {
        Bitmap bitmap;
        bitmap.pixels.resize(static_cast<size_t>(frame->getBitmapSize()));
        frame->fillBitmap(&bitmap.header, bitmap.pixels.data());
        return bmpFileBytes(bitmap);
    }
    HostArray array = nullptr;
    if (space == "native") array = frame->getNativeHostArray();
    else if (space == "rgb") array = frame->getHostArray(zorvframekit::kColorSpaceRGB);
    else if (space == "yuv") array = frame->getHostArray(zorvframekit::kColorSpaceYUV);
    else array = frame->getHostArray(zorvframekit::kColorSpaceMonochrome);
    if (!array) fail(std::string(choice.format->name) + " frames cannot be had as " + space + " (only 8-bit frames convert)");
    std::vector<uint8_t> bytes = npyFileBytes(array);
    haFree(array);
    return bytes;
}

int runConvert(const Arguments& args) {
    args.allowOnly({"--format", "--code", "--size", "--window", "--space", "--out-dir", "--to"});
    const Choice choice = chooseFormat(args);
    if (!args.has("--size")) fail("--size WxH (the size of the raw image) is needed");
    int width = 0, height = 0;
    parseSize(args.get("--size"), width, height);
    const std::string space = args.get("--space", "native");
    if (space != "native" && space != "rgb" && space != "yuv" && space != "mono")
        fail("bad --space '" + space + "': expected native, rgb, yuv or mono");

    const bool windowed = args.has("--window");
    Window window;
    if (windowed) {
        window = parseWindow(args.get("--window"));
        if (int64_t(window.x) + window.width > width || int64_t(window.y) + window.height > height)
            fail("window " + args.get("--window") + " does not fit in the " + args.get("--size") + " image");
        if (isYUVPlanar(*choice.format) && (width % subsamplingOf(*choice.format) || height % subsamplingOf(*choice.format)))
            fail(std::string("windows are cut from ") + choice.format->name + " images whose sizes are multiples of " +
                 std::to_string(subsamplingOf(*choice.format)));
        const int grid = isYUVPlanar(*choice.format) ? subsamplingOf(*choice.format) : 1;
        if (window.x % grid || window.y % grid)
            std::fprintf(stderr,
                         "zfk convert: warning: the window's origin %d,%d is off the %dx%d chroma grid of %s: "
                         "its chroma comes from the samples it starts inside\n",
                         window.x, window.y, grid, grid, choice.format->name);
    }
    const int64_t expected = rawFrameBytes(choice.code, width, height);
    if (expected <= 0) fail("a " + args.get("--size") + " image does not fit " + choice.format->name);

    std::vector<Job> jobs;
    if (args.has("--out-dir")) {
        const std::string to = args.get("--to", "bmp");
        if (to != "bmp" && to != "npy") fail("bad --to '" + to + "': expected bmp or npy");
        if (args.plain.empty()) fail("give at least one input file");
        for (const std::string& input : args.plain)
            jobs.push_back({input, (std::filesystem::path(args.get("--out-dir")) /
                                    (std::filesystem::path(input).stem().string() + "." + to))
                                       .string()});
    } else {
        if (args.has("--to")) fail("--to goes with --out-dir");
        if (args.plain.size() != 2) fail("give one input and one output file (or --out-dir DIR and inputs)");
        jobs.push_back({args.plain[0], args.plain[1]});
    }
    std::map<std::string, std::string> writers;  // output, the input that makes it
    for (const Job& job : jobs) {
        const std::string ext = extensionOf(job.output);
        if (ext != ".bmp" && ext != ".npy") fail("output " + job.output + " must end in .bmp or .npy");
        if (ext == ".bmp" && args.has("--space"))
            fail("--space goes with .npy outputs: a bitmap is always the frame's own RGB rendering");
        const std::string key = std::filesystem::path(job.output).lexically_normal().string();
        const auto written = writers.emplace(key, job.input);
        if (!written.second)
            fail("inputs " + written.first->second + " and " + job.input + " would both write " + job.output);
    }

    // Every input is read and checked before anything is written.
    std::vector<std::vector<uint8_t>> inputs;
    for (const Job& job : jobs) {
        std::vector<uint8_t> raw;
        std::string error;
        if (!readFile(job.input, expected, "a " + args.get("--size") + " " + choice.format->name + " image", raw, error))
            fail(error);
        inputs.push_back(std::move(raw));
    }
    const bool progress = jobs.size() > 1 && isatty(fileno(stderr));
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (progress) std::fprintf(stderr, "\r[%zu/%zu] %s", i + 1, jobs.size(), jobs[i].input.c_str());
        const std::vector<uint8_t> bytes = convertOne(choice, width, height, window, windowed, space, inputs[i], jobs[i].output);
        std::string error;
        if (!writeFileWhole(jobs[i].output, bytes, error)) fail(error);
    }
    if (progress) std::fprintf(stderr, "\n");
    return 0;
}

// ---- demo ---------------------------------------------------------------------------------

struct DemoResult {
    std::string name;
    FrameTypeCode code;
    int rawBytes, bitsPerPixel;
    double meanError;
    int maxError;
    double smoothError;  // mean error away from the fine chroma stripes
    double copyMicroseconds, hostMicroseconds, bitmapMicroseconds;
};

// Per-channel absolute differences between what the frame gives and the scene, column-major planes
// of height rows. The smooth figure leaves out the scene's band of fine chroma stripes (its third
// quarter), which no subsampled layout can carry.
void compare(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want, int height, DemoResult& result) {
    double sum = 0, smoothSum = 0;
    size_t smoothCount = 0;
    int max = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const int d = std::abs(int(got[i]) - int(want[i]));
        sum += d;
        max = std::max(max, d);
        const int row = int(i % size_t(height));
        if (row * 4 / height != 2) {
            smoothSum += d;
            ++smoothCount;
        }
    }
    result.meanError = got.empty() ? 0 : sum / double(got.size());
    result.smoothError = smoothCount == 0 ? 0 : smoothSum / double(smoothCount);
    result.maxError = max;
}

int runDemo(const Arguments& args) {
    args.allowOnly({"--out", "--size"});
    if (!args.plain.empty()) fail("unexpected argument " + args.plain[0]);
    int width = 640, height = 480;
    if (args.has("--size")) parseSize(args.get("--size"), width, height);
    if (width > 8192 || height > 8192) fail("the demo runs at sizes up to 8192x8192");
    const std::string outDir = args.get("--out", "out/demo");
    std::error_code made;
    std::filesystem::create_directories(outDir, made);
    if (made || !std::filesystem::is_directory(outDir)) fail("cannot make the output folder " + outDir);

    // Each frame is a window cut out of a larger source. Its left edge falls inside a pixel group
    // of every packed YUV layout (13 = 1 mod 2, 1 mod 4, 5 mod 8); planar YUV windows start on a
    // chroma block, since a planar copy does not resample chroma.
    const int sourceWidth = (width + 40 + 7) / 8 * 8, sourceHeight = (height + 24 + 7) / 8 * 8;
    struct Placement {
        int x, y;
        RGBImage source, scene;
    };
    Placement shifted{13, 7, renderScene(sourceWidth, sourceHeight, 13, 7, width, height), {}};
    Placement aligned{16, 8, renderScene(sourceWidth, sourceHeight, 16, 8, width, height), {}};
    shifted.scene = crop(shifted.source, shifted.x, shifted.y, width, height);
    aligned.scene = crop(aligned.source, aligned.x, aligned.y, width, height);

    MemoryLimiter limiter;
    FramePool* pool = createFramePool(&limiter);
    pool->setFrameCountLimits(1, 2);

    const int tileScale = std::max(1, (width + 199) / 200);
    const int tileWidth = width / tileScale, tileHeight = height / tileScale, labelHeight = 12, gap = 6, columns = 6;
    std::vector<std::pair<std::string, RGBImage>> tiles;
    std::vector<DemoResult> results;

    for (const FormatInfo& format : allFormats()) {
        for (int bottomUp = 0; bottomUp <= (format.hasRowOrder ? 1 : 0); ++bottomUp) {
            const FrameTypeCode code = codeOf(format, bottomUp != 0);
            const Placement& place = isYUVPlanar(format) ? aligned : shifted;
            const std::vector<uint8_t> raw = encodeRaw(format, bottomUp != 0, place.source);

            IFrame* frame = pool->getFrame(code, width, height);
            if (!frame) fail("the library made no frame for " + displayName(format, bottomUp != 0));
            auto start = std::chrono::steady_clock::now();
            frame->copyRegion(raw.data(), sourceWidth, sourceHeight, place.x, place.y);
            const double copyTime = microsecondsSince(start);
            if (!frame->hasData()) fail("no memory for a " + displayName(format, bottomUp != 0) + " frame");
            frame->setTime(getTimestamp());
            frame->addCStrMetaData("format", displayName(format, bottomUp != 0).c_str());
            frame->addDoubleMetaData("typeCode", double(code));

            Bitmap bitmap;
            bitmap.pixels.assign(static_cast<size_t>(frame->getBitmapSize()), 0);
            start = std::chrono::steady_clock::now();
            frame->fillBitmap(&bitmap.header, bitmap.pixels.data());
            const double bitmapTime = microsecondsSince(start);

            // What the host would get: colour frames as RGB, grey frames in their own depth.
            const bool grey = frame->getColorSpace() == zorvframekit::kColorSpaceMonochrome;
            start = std::chrono::steady_clock::now();
            HostArray array = grey ? frame->getNativeHostArray() : frame->getHostArray(zorvframekit::kColorSpaceRGB);
            const double hostTime = microsecondsSince(start);
            if (!array) fail("no host array for " + displayName(format, bottomUp != 0));
            const size_t n = size_t(width) * height;
            std::vector<uint8_t> got(grey ? n : 3 * n), want(got.size());
            for (int c = 0; c < width; ++c)
                for (int r = 0; r < height; ++r) {
                    const size_t i = size_t(c) * height + r;  // column-major
                    const uint8_t* scene = place.scene.at(c, r);
                    if (grey) {
                        const int shift = frame->getBitDepth() - 8;
                        got[i] = shift == 0 ? static_cast<const uint8_t*>(haGetData(array))[i]
                                            : uint8_t(static_cast<const uint16_t*>(haGetData(array))[i] >> shift);
                        want[i] = greyOf(scene);
                    } else {
                        for (int band = 0; band < 3; ++band) {
                            got[band * n + i] = static_cast<const uint8_t*>(haGetData(array))[band * n + i];
                            want[band * n + i] = scene[band];
                        }
                    }
                }
            haFree(array);

            DemoResult result{displayName(format, bottomUp != 0), code, frame->getDataSize(), bitmap.header.biBitCount,
                              0, 0, 0, copyTime, hostTime, bitmapTime};
            compare(got, want, height, result);

            // The label comes back out of the frame's metadata.
            HostArray label = frame->getMetaData("format");
            const std::string name = label ? haGetChars(label) : "?";
            haFree(label);
            frame->release();

            std::string fileName = result.name;
            std::replace(fileName.begin(), fileName.end(), ' ', '-');
            std::string error;
            if (!writeFileWhole((std::filesystem::path(outDir) / (fileName + ".bmp")).string(), bmpFileBytes(bitmap), error))
                fail(error);

            const RGBImage picture = decodeBitmap(bitmap);
            RGBImage tile(tileWidth, tileHeight);
            // Each thumbnail pixel is the mean of the block it stands for, so fine stripes show as
            // their blend rather than as whichever stripe a sample happened to hit.
            for (int y = 0; y < tileHeight; ++y)
                for (int x = 0; x < tileWidth; ++x)
                    for (int k = 0; k < 3; ++k) {
                        int sum = 0;
                        for (int dy = 0; dy < tileScale; ++dy)
                            for (int dx = 0; dx < tileScale; ++dx) sum += picture.at(x * tileScale + dx, y * tileScale + dy)[k];
                        tile.at(x, y)[k] = uint8_t(sum / (tileScale * tileScale));
                    }
            tiles.emplace_back(name, std::move(tile));
            results.push_back(result);
        }
    }
    pool->stopWorker();
    pool->destroy();

    // The contact sheet: every frame type's bitmap, labelled, in a grid.
    const int rows = int((tiles.size() + columns - 1) / columns);
    RGBImage sheet(gap + columns * (tileWidth + gap), gap + rows * (tileHeight + labelHeight + gap));
    std::fill(sheet.pixels.begin(), sheet.pixels.end(), uint8_t(40));
    const uint8_t white[3] = {235, 235, 235};
    for (size_t i = 0; i < tiles.size(); ++i) {
        const int x0 = gap + int(i % columns) * (tileWidth + gap);
        const int y0 = gap + int(i / columns) * (tileHeight + labelHeight + gap);
        drawText(sheet, x0, y0, tiles[i].first, white);
        for (int y = 0; y < tileHeight; ++y) std::memcpy(sheet.at(x0, y0 + labelHeight + y), tiles[i].second.at(0, y), 3 * size_t(tileWidth));
    }
    const std::string sheetPath = (std::filesystem::path(outDir) / "contact-sheet.bmp").string();
    std::string error;
    if (!writeFileWhole(sheetPath, bmpFileBytes(bitmapOf(sheet)), error)) fail(error);

    std::string csv = "name,code,raw_bytes,bitmap_bpp,mean_error,max_error,smooth_error\n";
    std::printf("%-20s %-10s %9s %4s %8s %4s %8s %9s %9s %9s\n", "frame type", "code", "raw bytes", "bpp", "mean err",
                "max", "smooth", "copy us", "host us", "bitmap us");
    for (const DemoResult& r : results) {
        std::printf("%-20s 0x%08X %9d %4d %8.3f %4d %8.3f %9.1f %9.1f %9.1f\n", r.name.c_str(), r.code, r.rawBytes,
                    r.bitsPerPixel, r.meanError, r.maxError, r.smoothError, r.copyMicroseconds, r.hostMicroseconds,
                    r.bitmapMicroseconds);
        char line[160];
        std::snprintf(line, sizeof line, "%s,0x%08X,%d,%d,%.4f,%d,%.4f\n", r.name.c_str(), r.code, r.rawBytes,
                      r.bitsPerPixel, r.meanError, r.maxError, r.smoothError);
        csv += line;
    }
    if (!writeFileWhole((std::filesystem::path(outDir) / "summary.csv").string(), std::vector<uint8_t>(csv.begin(), csv.end()), error))
        fail(error);
    std::printf("\nErrors are per channel against the scene (grey frames against the scene's grey, at 8 bits);\n"
                "smooth leaves out the band of fine chroma stripes, which shared chroma cannot carry.\n");
    std::printf("%zu frame types; the pictures are in %s: one .bmp per frame type and %s\n", results.size(),
                outDir.c_str(), sheetPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? kUsageError : 0;
    }
    const std::string command = argv[1];
    try {
        if (command == "demo") return runDemo(Arguments(argc, argv, 2, {}));
        if (command == "convert") return runConvert(Arguments(argc, argv, 2, {"--bottom-up"}));
        if (command == "formats") return runFormats(Arguments(argc, argv, 2, {}));
        if (command == "capture") return runCapture(Arguments(argc, argv, 2, {"--bottom-up"}));
        fail("unknown command '" + command + "'");
    } catch (const Failure& failure) {
        std::fprintf(stderr, "zfk %s: %s\n", command.c_str(), failure.message.c_str());
        return kUsageError;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zfk %s: out of memory\n", command.c_str());
        return kUsageError;
    }
}

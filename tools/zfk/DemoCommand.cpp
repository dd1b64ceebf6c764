// zfk demo: the test scene through every frame type the library knows, from one pool, with a
// bitmap of each, a contact sheet, and how far each comes back from the scene.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "Commands.h"
#include "ImageFiles.h"
#include "SyntheticCamera.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace zfk {

namespace {

double microsecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

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

}  // namespace

int runDemo(const DemoOptions& options, const Console& console) {
    const int width = options.width, height = options.height;
    if (width > 8192 || height > 8192) fail("the demo runs at sizes up to 8192x8192");
    const std::string& outDir = options.outDir;
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

    zorvframekit::MemoryLimiter limiter;
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
    const std::string sheetPath = (std::filesystem::path(outDir) / "contact-sheet.png").string();
    std::string error;
    if (!writeFileWhole(sheetPath, pngFileBytes(sheet), error)) fail(error);
    if (!writeFileWhole((std::filesystem::path(outDir) / "contact-sheet.bmp").string(), bmpFileBytes(bitmapOf(sheet)), error))
        fail(error);

    std::string csv = "name,code,raw_bytes,bitmap_bpp,mean_error,max_error,smooth_error\n";
    std::fprintf(console.out, "%-20s %-10s %9s %4s %8s %4s %8s %9s %9s %9s\n", "frame type", "code", "raw bytes", "bpp", "mean err",
                "max", "smooth", "copy us", "host us", "bitmap us");
    for (const DemoResult& r : results) {
        std::fprintf(console.out, "%-20s 0x%08X %9d %4d %8.3f %4d %8.3f %9.1f %9.1f %9.1f\n", r.name.c_str(), r.code, r.rawBytes,
                    r.bitsPerPixel, r.meanError, r.maxError, r.smoothError, r.copyMicroseconds, r.hostMicroseconds,
                    r.bitmapMicroseconds);
        char line[160];
        std::snprintf(line, sizeof line, "%s,0x%08X,%d,%d,%.4f,%d,%.4f\n", r.name.c_str(), r.code, r.rawBytes,
                      r.bitsPerPixel, r.meanError, r.maxError, r.smoothError);
        csv += line;
    }
    if (!writeFileWhole((std::filesystem::path(outDir) / "summary.csv").string(), std::vector<uint8_t>(csv.begin(), csv.end()), error))
        fail(error);
    std::fprintf(console.out, "\nErrors are per channel against the scene (grey frames against the scene's grey, at 8 bits);\n"
                "smooth leaves out the band of fine chroma stripes, which shared chroma cannot carry.\n");
    std::fprintf(console.out, "%zu frame types; the pictures are in %s: one .bmp per frame type and %s\n", results.size(),
                outDir.c_str(), sheetPath.c_str());
    return 0;
}

}  // namespace zfk

#include "SyntheticCamera.h"

#include <algorithm>
#include <cmath>

namespace zfk {

using namespace zorvframekit;

namespace {

void put(uint8_t* rgb, int r, int g, int b) {
    rgb[0] = static_cast<uint8_t>(r);
    rgb[1] = static_cast<uint8_t>(g);
    rgb[2] = static_cast<uint8_t>(b);
}

// The scene at frame coordinates (x, y) of a width x height frame.
void scenePixel(int x, int y, int width, int height, uint8_t* rgb) {
    const int band = y * 4 / height;  // four horizontal bands
    if (band == 0) {
        // Colour bars at full and three-quarter intensity.
        static const int bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                       {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
        const int* bar = bars[std::min(7, x * 8 / width)];
        const int scale = y * 8 / height == 0 ? 255 : 191;
        put(rgb, bar[0] * scale / 255, bar[1] * scale / 255, bar[2] * scale / 255);
    } else if (band == 1) {
        // Ramps: grey, then red, green and blue, left to right.
        const int v = width > 1 ? x * 255 / (width - 1) : 0;
        const int ramp = (y - height / 4) * 4 / std::max(1, height / 4 + 1);
        if (ramp == 0) put(rgb, v, v, v);
        else if (ramp == 1) put(rgb, v, 0, 0);
        else if (ramp == 2) put(rgb, 0, v, 0);
        else put(rgb, 0, 0, v);
    } else if (band == 2) {
        // Fine chroma edges: red and blue stripes of equal luma-ish weight, 1 to 8 pixels wide.
        const int section = x * 4 / width;
        const int stripe = 1 << section;
        const bool odd = (x / stripe) % 2 != 0;
        if (y % 16 < 8)
            put(rgb, odd ? 200 : 40, 60, odd ? 40 : 200);
        else
            put(rgb, odd ? 230 : 20, odd ? 230 : 20, odd ? 20 : 230);  // yellow and blue
    } else {
        // A disc on a diagonal hue ramp.
        const double cx = width * 0.5, cy = height * 0.875, radius = height / 10.0;
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        if (dx * dx + dy * dy < radius * radius) {
            put(rgb, 250, 250, 250);
        } else {
            const int t = (x + y) * 255 / std::max(1, width + height);
            put(rgb, t, 255 - t, (t * 3) & 255);
        }
    }
}

uint8_t clampByte(double value) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, std::round(value)))); }

// BT.601, video range, rounded: the camera's own encoder.
void toYUV(const uint8_t* rgb, double& y, double& u, double& v) {
    const double r = rgb[0], g = rgb[1], b = rgb[2];
    y = 16.0 + (65.738 * r + 129.057 * g + 25.064 * b) / 256.0;
    u = 128.0 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256.0;
    v = 128.0 + (112.439 * r - 94.154 * g - 18.285 * b) / 256.0;
}

struct PackedLayout {
    int bytesPerGroup, pixelsPerGroup;
    int y[8], u[8], v[8];
};

// The seven packed YUV layouts: for pixel j of a group, the byte offsets of its Y, U and V.
const PackedLayout packedLayouts[7] = {
    {4, 2, {0, 2}, {1, 1}, {3, 3}},                                              // Y0 U Y1 V
    {4, 2, {1, 3}, {0, 0}, {2, 2}},                                              // U Y0 V Y1
    {4, 2, {0, 2}, {3, 3}, {1, 1}},                                              // Y0 V Y1 U
    {6, 4, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}},                            // U Y0 Y1 V Y2 Y3
    {3, 1, {1}, {0}, {2}},                                                       // U Y V
    {12, 8, {1, 3, 5, 7, 8, 9, 10, 11}, {0, 0, 0, 0, 4, 4, 4, 4}, {2, 2, 2, 2, 6, 6, 6, 6}},
    {3, 1, {2}, {0}, {1}},                                                       // U V Y
};

void encodeMonochrome(int formatIndex, const RGBImage& image, int row, uint8_t* out) {
    static const int depth[9] = {8, 10, 12, 14, 16, 10, 12, 14, 16};
    for (int x = 0; x < image.width; ++x) {
        const unsigned grey = greyOf(image.at(x, row));
        if (formatIndex == 0) {
            out[x] = static_cast<uint8_t>(grey);
            continue;
        }
        // Bit replication: the top eight of the depth bits are the grey value itself.
        const int d = depth[formatIndex];
        const unsigned value = (grey << (d - 8)) | (grey >> (16 - d));
        const uint8_t low = static_cast<uint8_t>(value & 0xFF), high = static_cast<uint8_t>(value >> 8);
        out[2 * x] = formatIndex >= 5 ? high : low;
        out[2 * x + 1] = formatIndex >= 5 ? low : high;
    }
}

void encodeRGB24(int formatIndex, const RGBImage& image, int row, uint8_t* out) {
    const int bpp = formatIndex >= 2 ? 4 : 3;
    const bool blueFirst = formatIndex == 1 || formatIndex == 3;
    for (int x = 0; x < image.width; ++x) {
        const uint8_t* p = image.at(x, row);
        uint8_t* o = out + bpp * x;
        o[0] = blueFirst ? p[2] : p[0];
        o[1] = p[1];
        o[2] = blueFirst ? p[0] : p[2];
        if (bpp == 4) o[3] = 0xFF;
    }
}

void encodeRGB16(int formatIndex, const RGBImage& image, int row, uint8_t* out) {
    for (int x = 0; x < image.width; ++x) {
        const uint8_t* p = image.at(x, row);
        const unsigned word = formatIndex == 0 ? ((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3)
                                               : ((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3);
        out[2 * x] = static_cast<uint8_t>(word & 0xFF);
        out[2 * x + 1] = static_cast<uint8_t>(word >> 8);
    }
}

void encodePackedYUVRow(const PackedLayout& layout, const RGBImage& image, int row, uint8_t* out) {
    const int n = layout.pixelsPerGroup;
    const int groups = (image.width + n - 1) / n;
    for (int g = 0; g < groups; ++g) {
        uint8_t* group = out + g * layout.bytesPerGroup;
        // Each chroma byte is the mean of the pixels that share it.
        double uSum[8] = {0}, vSum[8] = {0};
        int count[8] = {0};
        for (int j = 0; j < n; ++j) {
            const int x = std::min(image.width - 1, g * n + j);
            double y, u, v;
            toYUV(image.at(x, row), y, u, v);
            group[layout.y[j]] = clampByte(y);
            uSum[layout.u[j]] += u;
            vSum[layout.v[j]] += v;
            ++count[layout.u[j]];
        }
        for (int j = 0; j < n; ++j) {
            group[layout.u[j]] = clampByte(uSum[layout.u[j]] / count[layout.u[j]]);
            group[layout.v[j]] = clampByte(vSum[layout.v[j]] / count[layout.u[j]]);
        }
    }
}

std::vector<uint8_t> encodePlanarYUV(int formatIndex, const RGBImage& image) {
    const int f = formatIndex == 0 ? 4 : 2;
    const int w = image.width, h = image.height, cw = w / f, ch = h / f;
    std::vector<uint8_t> raw(size_t(w) * h + 2 * size_t(cw) * ch);
    uint8_t* yPlane = raw.data();
    uint8_t* second = yPlane + size_t(w) * h;
    uint8_t* third = second + size_t(cw) * ch;
    uint8_t* uPlane = formatIndex == 2 ? second : third;
    uint8_t* vPlane = formatIndex == 2 ? third : second;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double Y, U, V;
            toYUV(image.at(x, y), Y, U, V);
            yPlane[size_t(y) * w + x] = clampByte(Y);
        }
    for (int by = 0; by < ch; ++by)
        for (int bx = 0; bx < cw; ++bx) {
            double uSum = 0, vSum = 0;
            for (int y = by * f; y < by * f + f; ++y)
                for (int x = bx * f; x < bx * f + f; ++x) {
                    double Y, U, V;
                    toYUV(image.at(x, y), Y, U, V);
                    uSum += U;
                    vSum += V;
                }
            uPlane[size_t(by) * cw + bx] = clampByte(uSum / (f * f));
            vPlane[size_t(by) * cw + bx] = clampByte(vSum / (f * f));
        }
    return raw;
}

}  // namespace

RGBImage renderScene(int sourceWidth, int sourceHeight, int originX, int originY, int frameWidth, int frameHeight) {
    RGBImage image(sourceWidth, sourceHeight);
    for (int y = 0; y < sourceHeight; ++y)
        for (int x = 0; x < sourceWidth; ++x) {
            const int fx = x - originX, fy = y - originY;
            if (fx >= 0 && fy >= 0 && fx < frameWidth && fy < frameHeight)
                scenePixel(fx, fy, frameWidth, frameHeight, image.at(x, y));
            else
                put(image.at(x, y), (x * 37 + y * 11) & 255, 255 - ((x * 13) & 255), (y * 29) & 255);
        }
    return image;
}

RGBImage crop(const RGBImage& image, int x, int y, int width, int height) {
    RGBImage out(width, height);
    for (int r = 0; r < height; ++r)
        std::copy(image.at(x, y + r), image.at(x, y + r) + 3 * width, out.at(0, r));
    return out;
}

uint8_t greyOf(const uint8_t* rgb) { return static_cast<uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8); }

std::vector<uint8_t> encodeRaw(const FormatInfo& format, bool bottomUp, const RGBImage& image) {
    if (format.family == kFamilyYUVPlanar) return encodePlanarYUV(format.formatIndex, image);
    if (format.family == kFamilyRGB24Planar) {
        const size_t plane = size_t(image.width) * image.height;
        std::vector<uint8_t> raw(3 * plane);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int p = 0; p < 3; ++p) raw[p * plane + size_t(y) * image.width + x] = image.at(x, y)[p];
        return raw;
    }
    size_t rowBytes = 0;
    if (format.family == kFamilyMonochrome) rowBytes = size_t(format.formatIndex == 0 ? 1 : 2) * image.width;
    if (format.family == kFamilyRGB24Packed) rowBytes = size_t(format.formatIndex >= 2 ? 4 : 3) * image.width;
    if (format.family == kFamilyRGB16) rowBytes = size_t(2) * image.width;
    if (format.family == kFamilyYUVPacked) {
        const PackedLayout& layout = packedLayouts[format.formatIndex];
        rowBytes = size_t((image.width + layout.pixelsPerGroup - 1) / layout.pixelsPerGroup) * layout.bytesPerGroup;
    }
    std::vector<uint8_t> raw(rowBytes * image.height);
    for (int row = 0; row < image.height; ++row) {
        // A bottom-up device delivers the image's last row first.
        uint8_t* out = raw.data() + rowBytes * size_t(bottomUp && format.hasRowOrder ? image.height - 1 - row : row);
        if (format.family == kFamilyMonochrome) encodeMonochrome(format.formatIndex, image, row, out);
        if (format.family == kFamilyRGB24Packed) encodeRGB24(format.formatIndex, image, row, out);
        if (format.family == kFamilyRGB16) encodeRGB16(format.formatIndex, image, row, out);
        if (format.family == kFamilyYUVPacked) encodePackedYUVRow(packedLayouts[format.formatIndex], image, row, out);
    }
    return raw;
}

}  // namespace zfk

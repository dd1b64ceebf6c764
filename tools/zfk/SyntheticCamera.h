// A camera with no hardware: it renders a test scene and delivers it as the raw bytes a device
// would, in any of the library's frame types. The encoders are written from the layouts' own
// descriptions, independently of the library, so that comparing what the library makes of these
// bytes with the scene checks the library.
#ifndef ZFK_SYNTHETICCAMERA_H
#define ZFK_SYNTHETICCAMERA_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "FormatTable.h"

namespace zfk {

// 8-bit RGB, interleaved, top row first.
struct RGBImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 3 bytes a pixel

    RGBImage() = default;
    RGBImage(int width, int height) : width(width), height(height), pixels(bytesFor(width, height)) {}
    // Whether an image of that size can be had here (on 32 bits its byte count can exceed size_t).
    static bool fits(int width, int height) {
        return width >= 0 && height >= 0 && uint64_t(width) * uint64_t(height) <= SIZE_MAX / 3;
    }
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * 3]; }

private:
    static size_t bytesFor(int width, int height) {
        if (!fits(width, height)) throw std::bad_alloc();
        return size_t(3) * size_t(width) * size_t(height);
    }
};

// The test scene, frameWidth x frameHeight, placed at (originX, originY) of a sourceWidth x
// sourceHeight image whose margins hold a different pattern (a window cut from the wrong place
// shows it at once). Colour bars, ramps, fine chroma edges and a disc.
RGBImage renderScene(int sourceWidth, int sourceHeight, int originX, int originY, int frameWidth, int frameHeight);

// The part of an image at (x, y) of the given size.
RGBImage crop(const RGBImage& image, int x, int y, int width, int height);

// The camera's grey value of a colour (BT.601 weights, rounded).
uint8_t greyOf(const uint8_t* rgb);

// The raw bytes of `image` in the given frame type, laid out as a device delivers a whole image of
// that size: row order as asked, groups and planes as the format has them. Planar YUV needs sizes
// that are multiples of its subsampling, and packed YUV rows are whole groups (the last one padded
// by repeating the row's last pixel).
std::vector<uint8_t> encodeRaw(const FormatInfo& format, bool bottomUp, const RGBImage& image);

}  // namespace zfk

#endif  // ZFK_SYNTHETICCAMERA_H

// BT.601 conversions between full-range RGB and video-range YCbCr in 8-bit fixed point
// (coefficients scaled by 256), one pixel at a time: the reference every kernel level is checked
// against, and what the plain kernels loop over.
#ifndef ZORVFRAMEKIT_KERNELS_PIXELFORMULAS_H
#define ZORVFRAMEKIT_KERNELS_PIXELFORMULAS_H

#include <cstdint>

namespace zorvframekit {

static inline uint8_t clampToByte(int value) {
    return static_cast<uint8_t>(value <= 0 ? 0 : (value >= 256 ? 255 : value));
}

static inline void convertYUVPixelToRGB(uint8_t y, uint8_t u, uint8_t v, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int c = y - 16, d = u - 128, e = v - 128;
    // >> on a negative int is an arithmetic shift on every compiler we build with (and defined so in
    // C++20): it rounds toward minus infinity, as the fixed-point formulas intend.
    r = clampToByte((298 * c + 409 * e + 128) >> 8);
    g = clampToByte((298 * c - 100 * d - 208 * e + 128) >> 8);
    b = clampToByte((298 * c + 516 * d + 128) >> 8);
}

// For 8-bit inputs the results lie in 16..235 (Y) and 16..240 (U, V): no clamping needed.
static inline void convertRGBPixelToYUV(uint8_t r, uint8_t g, uint8_t b, uint8_t& y, uint8_t& u, uint8_t& v) {
    y = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    u = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    v = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// BT.709 luma weights scaled by 256 and truncated; they sum to 255, so white gives 254.
static inline uint8_t convertRGBPixelToMono(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>((54 * r + 183 * g + 18 * b) >> 8);
}

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_PIXELFORMULAS_H

// BT.601 conversions between full-range RGB and video-range YCbCr in 8-bit fixed point
// (coefficients scaled by 256), per pixel and over whole host arrays.
#ifndef ZORVFRAMEKIT_FRAME_COLORCONVERSION_H
#define ZORVFRAMEKIT_FRAME_COLORCONVERSION_H

#include <cstddef>
#include <cstdint>

#include "ha.h"

namespace zorvframekit {

inline uint8_t clampToByte(int value) {
    return static_cast<uint8_t>(value <= 0 ? 0 : (value >= 256 ? 255 : value));
}

inline void convertYUVPixelToRGB(uint8_t y, uint8_t u, uint8_t v, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int c = y - 16, d = u - 128, e = v - 128;
    // >> on a negative int is an arithmetic shift on every compiler we build with (and defined so in
    // C++20): it rounds toward minus infinity, as the fixed-point formulas intend.
    r = clampToByte((298 * c + 409 * e + 128) >> 8);
    g = clampToByte((298 * c - 100 * d - 208 * e + 128) >> 8);
    b = clampToByte((298 * c + 516 * d + 128) >> 8);
}

// For 8-bit inputs the results lie in 16..235 (Y) and 16..240 (U, V): no clamping needed.
inline void convertRGBPixelToYUV(uint8_t r, uint8_t g, uint8_t b, uint8_t& y, uint8_t& u, uint8_t& v) {
    y = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    u = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    v = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// What getHostArray does for a frame of native colour space `colorSpace` asked for the spaces in
// `colorSpaceMask`: hand over the native array, convert it, or refuse (None). The first that applies
// decides: the native space, then RGB, then YUV, then monochrome.
enum class HostConversion { Native, YUVToRGB, RGBToYUV, MonoToRGB, MonoToYUV, YUVToMono, RGBToMono, None };
HostConversion chooseHostConversion(int colorSpace, int colorSpaceMask);

// Converts the native host array of a frame whose colour space is `colorSpace` into one the mask
// accepts, preferring RGB, then YUV, then monochrome. Takes ownership of `native` (it is either
// returned, converted in place, or freed). Returns null, freeing `native`, when no conversion
// applies or the array is not 8-bit.
HostArray convertHostArray(HostArray native, int colorSpace, int colorSpaceMask);

// Whether convertHostArray has a conversion from `colorSpace` to something in the mask.
bool canConvert(int colorSpace, int colorSpaceMask);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FRAME_COLORCONVERSION_H

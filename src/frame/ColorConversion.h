// Conversion of whole host arrays between monochrome, RGB and YUV, by the per-pixel formulas of
// kernels/PixelFormulas.h.
#ifndef ZORVFRAMEKIT_FRAME_COLORCONVERSION_H
#define ZORVFRAMEKIT_FRAME_COLORCONVERSION_H

#include <cstddef>
#include <cstdint>

#include "ha.h"
#include "kernels/PixelFormulas.h"

namespace zorvframekit {

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

#include "frame/ColorConversion.h"

#include <cstring>

#include "kernels/CopyBytes.h"
#include "kernels/RowKernels.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

namespace {

// The first row that matches decides: RGB is preferred to YUV, and YUV to monochrome.
HostConversion chooseConversion(int colorSpace, int mask) {
    const bool rgb = (mask & kColorSpaceRGB) != 0, yuv = (mask & kColorSpaceYUV) != 0,
               mono = (mask & kColorSpaceMonochrome) != 0;
    if (colorSpace == kColorSpaceYUV && rgb) return HostConversion::YUVToRGB;
    if (colorSpace == kColorSpaceRGB && yuv) return HostConversion::RGBToYUV;
    if (colorSpace == kColorSpaceMonochrome && rgb) return HostConversion::MonoToRGB;
    if (colorSpace == kColorSpaceMonochrome && yuv) return HostConversion::MonoToYUV;
    if (colorSpace == kColorSpaceYUV && mono) return HostConversion::YUVToMono;
    if (colorSpace == kColorSpaceRGB && mono) return HostConversion::RGBToMono;
    return HostConversion::None;
}

HostArray createBands(const int* dims, int classID, int bands) {
    if (bands == 1) return haCreateNumericMatrix(dims[0], dims[1], classID, 0);
    const int shape[3] = {dims[0], dims[1], bands};
    return haCreateNumericArray(3, shape, classID, 0);
}

// Band-sequential planes, in place, through the row kernels in pieces whose sizes fit an int.
const size_t kPiece = size_t(1) << 20;

void yuvToRGBInPlace(uint8_t* y, uint8_t* u, uint8_t* v, size_t n) {
    const RowKernels& kernels = rowKernels();
    for (size_t i = 0; i < n; i += kPiece) {
        const YUVRow row = {y + i, u + i, v + i, 0, 0};
        uint8_t* const rgb[3] = {y + i, u + i, v + i};
        kernels.yuvToRGB(row, rgb, static_cast<int>(n - i < kPiece ? n - i : kPiece));
    }
}

void rgbToYUVInPlace(uint8_t* r, uint8_t* g, uint8_t* b, size_t n) {
    const RowKernels& kernels = rowKernels();
    for (size_t i = 0; i < n; i += kPiece) {
        uint8_t* const bands[3] = {r + i, g + i, b + i};
        kernels.rgbToYUV(bands, bands, static_cast<int>(n - i < kPiece ? n - i : kPiece));
    }
}

void monoToYUV(const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) y[i] = static_cast<uint8_t>(((220 * s[i] + 128) >> 8) + 16);
    std::memset(u, 128, n);
    std::memset(v, 128, n);
}

// By the row kernels' rgbToMono (convertRGBPixelToMono).
void rgbToMono(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* out, size_t n) {
    const RowKernels& kernels = rowKernels();
    for (size_t i = 0; i < n; i += kPiece) {
        const uint8_t* const bands[3] = {r + i, g + i, b + i};
        kernels.rgbToMono(bands, out + i, static_cast<int>(n - i < kPiece ? n - i : kPiece));
    }
}

}  // namespace

HostConversion chooseHostConversion(int colorSpace, int colorSpaceMask) {
    if ((colorSpaceMask & colorSpace) != 0) return HostConversion::Native;
    return chooseConversion(colorSpace, colorSpaceMask);
}

bool canConvert(int colorSpace, int colorSpaceMask) {
    return chooseConversion(colorSpace, colorSpaceMask) != HostConversion::None;
}

HostArray convertHostArray(HostArray native, int colorSpace, int colorSpaceMask) {
    const HostConversion conversion = chooseConversion(colorSpace, colorSpaceMask);
    if (native == nullptr) return nullptr;
    if (conversion == HostConversion::None || !haIsUint8(native)) {
        haFree(native);
        return nullptr;
    }
    // Every native array is {rows, columns, bands}, made by the frame: one band for a monochrome
    // frame, three for the others. The band count comes from the colour space, not from the array,
    // whose host may drop a trailing singleton dimension ({rows, columns} for one band).
    const int* dims = haGetDimensions(native);
    const int rows = dims[0] > 0 ? dims[0] : 0, columns = dims[1] > 0 ? dims[1] : 0;
    const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    uint8_t* in = static_cast<uint8_t*>(haGetData(native));
    const int classID = haGetClassID(native);

    if (conversion == HostConversion::YUVToRGB || conversion == HostConversion::RGBToYUV) {
        if (conversion == HostConversion::YUVToRGB)
            yuvToRGBInPlace(in, in + n, in + 2 * n, n);
        else
            rgbToYUVInPlace(in, in + n, in + 2 * n, n);
        return native;
    }

    const bool fromMono = conversion == HostConversion::MonoToRGB || conversion == HostConversion::MonoToYUV;
    HostArray result = createBands(dims, classID, fromMono ? 3 : 1);
    if (result == nullptr) {  // the host could not make it
        haFree(native);
        return nullptr;
    }
    uint8_t* out = static_cast<uint8_t*>(haGetData(result));
    switch (conversion) {
    case HostConversion::MonoToRGB:
        if (n > 0) {
            copyBytes(in, out, n);
            copyBytes(in, out + n, n);
            copyBytes(in, out + 2 * n, n);
        }
        break;
    case HostConversion::MonoToYUV:
        monoToYUV(in, out, out + n, out + 2 * n, n);
        break;
    case HostConversion::YUVToMono:
        if (n > 0) std::memcpy(out, in, n);  // the Y band as it stands, 16..235
        break;
    case HostConversion::RGBToMono:
        rgbToMono(in, in + n, in + 2 * n, out, n);
        break;
    default:
        break;
    }
    haFree(native);
    return result;
}

}  // namespace zorvframekit

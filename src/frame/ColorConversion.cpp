#include "frame/ColorConversion.h"

#include <cstring>

#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

namespace {

enum Conversion { None, YUVToRGB, RGBToYUV, MonoToRGB, MonoToYUV, YUVToMono, RGBToMono };

// The first row that matches decides: RGB is preferred to YUV, and YUV to monochrome.
Conversion chooseConversion(int colorSpace, int mask) {
    const bool rgb = (mask & kColorSpaceRGB) != 0, yuv = (mask & kColorSpaceYUV) != 0,
               mono = (mask & kColorSpaceMonochrome) != 0;
    if (colorSpace == kColorSpaceYUV && rgb) return YUVToRGB;
    if (colorSpace == kColorSpaceRGB && yuv) return RGBToYUV;
    if (colorSpace == kColorSpaceMonochrome && rgb) return MonoToRGB;
    if (colorSpace == kColorSpaceMonochrome && yuv) return MonoToYUV;
    if (colorSpace == kColorSpaceYUV && mono) return YUVToMono;
    if (colorSpace == kColorSpaceRGB && mono) return RGBToMono;
    return None;
}

HostArray createBands(const int* dims, int classID, int bands) {
    if (bands == 1) return haCreateNumericMatrix(dims[0], dims[1], classID, 0);
    const int shape[3] = {dims[0], dims[1], bands};
    return haCreateNumericArray(3, shape, classID, 0);
}

// Band-sequential planes: in place, every position read whole before it is written.
void yuvToRGBInPlace(uint8_t* y, uint8_t* u, uint8_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) convertYUVPixelToRGB(y[i], u[i], v[i], y[i], u[i], v[i]);
}

void rgbToYUVInPlace(uint8_t* r, uint8_t* g, uint8_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i) convertRGBPixelToYUV(r[i], g[i], b[i], r[i], g[i], b[i]);
}

void monoToYUV(const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) y[i] = static_cast<uint8_t>(((220 * s[i] + 128) >> 8) + 16);
    std::memset(u, 128, n);
    std::memset(v, 128, n);
}

// BT.709 luma weights scaled by 256 and truncated; they sum to 255, so white gives 254.
void rgbToMono(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((54 * r[i] + 183 * g[i] + 18 * b[i]) >> 8);
}

}  // namespace

bool canConvert(int colorSpace, int colorSpaceMask) { return chooseConversion(colorSpace, colorSpaceMask) != None; }

HostArray convertHostArray(HostArray native, int colorSpace, int colorSpaceMask) {
    const Conversion conversion = chooseConversion(colorSpace, colorSpaceMask);
    if (native == nullptr) return nullptr;
    if (conversion == None || !haIsUint8(native)) {
        haFree(native);
        return nullptr;
    }
    // Every native array is {rows, columns, bands}: the frame made it.
    const int* dims = haGetDimensions(native);
    const int rows = dims[0] > 0 ? dims[0] : 0, columns = dims[1] > 0 ? dims[1] : 0;
    const int bands = dims[2];
    const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    uint8_t* in = static_cast<uint8_t*>(haGetData(native));
    const int classID = haGetClassID(native);

    if (conversion == YUVToRGB || conversion == RGBToYUV) {
        // A three-band array converts in place; anything with fewer bands has no second and third
        // plane to read, so it is refused rather than read past its end.
        if (bands < 3) {
            haFree(native);
            return nullptr;
        }
        if (conversion == YUVToRGB)
            yuvToRGBInPlace(in, in + n, in + 2 * n, n);
        else
            rgbToYUVInPlace(in, in + n, in + 2 * n, n);
        return native;
    }

    const bool fromMono = conversion == MonoToRGB || conversion == MonoToYUV;
    if (bands < (fromMono ? 1 : 3)) {
        haFree(native);
        return nullptr;
    }
    HostArray result = createBands(dims, classID, fromMono ? 3 : 1);
    if (result == nullptr) {  // the host could not make it
        haFree(native);
        return nullptr;
    }
    uint8_t* out = static_cast<uint8_t*>(haGetData(result));
    switch (conversion) {
    case MonoToRGB:
        if (n > 0) {
            std::memcpy(out, in, n);
            std::memcpy(out + n, in, n);
            std::memcpy(out + 2 * n, in, n);
        }
        break;
    case MonoToYUV:
        monoToYUV(in, out, out + n, out + 2 * n, n);
        break;
    case YUVToMono:
        if (n > 0) std::memcpy(out, in, n);  // the Y band as it stands, 16..235
        break;
    case RGBToMono:
        rgbToMono(in, in + n, in + 2 * n, out, n);
        break;
    default:
        break;
    }
    haFree(native);
    return result;
}

}  // namespace zorvframekit

#include "formats/PixelLayout.h"

namespace zorvframekit {

void copyWindowRows(unsigned char* dst, const unsigned char* src, int srcWidth, int srcHeight, int x, int y,
                    int width, int height, int bytesPerPixel, bool bottomUp) {
    const int64_t first = bottomUp ? static_cast<int64_t>(srcHeight) - height - y : y;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    const size_t srcRowBytes = static_cast<size_t>(srcWidth) * static_cast<size_t>(bytesPerPixel);
    const unsigned char* s = src + (static_cast<size_t>(first) * srcRowBytes + static_cast<size_t>(x) * bytesPerPixel);
    for (int row = 0; row < height; ++row) {
        copyBytes(s, dst, rowBytes);
        dst += rowBytes;
        s += srcRowBytes;
    }
}

HostArray createImageArray(int height, int width, int bands, int classID) {
    const int dimensions[3] = {height, width, bands};
    return haCreateNumericArray(3, dimensions, classID, 0);
}

void fillBitmapHeader(BITMAPINFOHEADER* header, int width, int height, int bitsPerPixel) {
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<uint16_t>(bitsPerPixel);
    header->biCompression = 0;
    header->biSizeImage = 0;
    header->biXPelsPerMeter = 0;
    header->biYPelsPerMeter = 0;
    header->biClrUsed = 0;
    header->biClrImportant = 0;
}

}  // namespace zorvframekit

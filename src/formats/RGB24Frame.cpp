#include "formats/RGB24Frame.h"

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"

namespace zorvframekit {

namespace {

// rgb24Formats, by format index: bytes of one raw pixel, and where red, green and blue lie in it.
// The fourth byte of formats 2 and 3 is unused.
const int bytesPerPixel[RGB24Frame::formatCount] = {3, 3, 4, 4};
const int channelOffsets[RGB24Frame::formatCount][3] = {{0, 1, 2}, {2, 1, 0}, {0, 1, 2}, {2, 1, 0}};

}  // namespace

IFrame* RGB24Frame::create(int width, int height, int formatIndex, int bottomUp) {
    if (formatIndex < 0 || formatIndex >= formatCount || width <= 0 || height <= 0) return nullptr;
    const int64_t rowBytes = int64_t(bytesPerPixel[formatIndex]) * width;
    if (!productFitsInt(rowBytes, height) || !productFitsInt(bitmapStride(rowBytes), height)) return nullptr;
    return new RGB24Frame(width, height, formatIndex, bottomUp);
}

RGB24Frame::RGB24Frame(int width, int height, int formatIndex, int bottomUp)
    : ZORVFrame(bytesPerPixel[formatIndex] * width * height),
      width(width),
      height(height),
      bands(3),
      rowBytes(width * bytesPerPixel[formatIndex]),
      bottomUp(bottomUp),
      formatIndex(formatIndex) {
    setColorSpace(kColorSpaceRGB);
}

void RGB24Frame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    copyWindowRows(dst, src, srcWidth, srcHeight, x, y, width, height, bytesPerPixel[formatIndex], bottomUp != 0);
}

// The red, green and blue bands of a chunk of a row, split out of its pixels.
struct RGB24Frame::Rows {
    const unsigned char* top;  // image row 0
    ptrdiff_t pitch;           // from one image row to the next (negative for a bottom-up buffer)
    int pixelBytes;
    int bandOfByte[3];         // which band each of a pixel's first three bytes belongs to

    const unsigned char* at(int r, int c0) const { return top + r * pitch + ptrdiff_t(c0) * pixelBytes; }
    void operator()(int r, int c0, int n, const RowScratch& room, StripRow&) const {
        uint8_t* const out[3] = {room.band[bandOfByte[0]], room.band[bandOfByte[1]], room.band[bandOfByte[2]]};
        const RowKernels& kernels = rowKernels();
        (pixelBytes == 3 ? kernels.split3 : kernels.split4)(at(r, c0), out, n);
    }
};

RGB24Frame::Rows RGB24Frame::rows() {
    // A bottom-up buffer is read from its last row upward, so the host gets the top row first.
    const unsigned char* top = getData() + (bottomUp ? ptrdiff_t(height - 1) * rowBytes : 0);
    Rows reader = {top, bottomUp ? -ptrdiff_t(rowBytes) : ptrdiff_t(rowBytes), bytesPerPixel[formatIndex], {0, 0, 0}};
    for (int band = 0; band < 3; ++band) reader.bandOfByte[channelOffsets[formatIndex][band]] = band;
    return reader;
}

HostArray RGB24Frame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    return columnMajorArray(width, height, bands, getHostClassID(), rows());
}

HostArray RGB24Frame::getHostArray(int colorSpaceMask) {
    const HostConversion conversion = chooseHostConversion(getColorSpace(), colorSpaceMask);
    if (!isConvertedFromRGBRows(conversion) || !hasData()) return ZORVFrame::getHostArray(colorSpaceMask);
    if (bytesPerPixel[formatIndex] != 3)
        return convertedRGBArray(conversion, width, height, convertedFromRGBBands(conversion, rows()));
    // 3-byte pixels give their Y, U and V, and their luma, straight: unsplit.
    const Rows reader = rows();
    const int redOffset = channelOffsets[formatIndex][0];
    const RowKernels& kernels = rowKernels();
    return convertedRGBArray(conversion, width, height, [&](int r, int c0, int n, const RowScratch& room, StripRow&) {
        if (conversion == HostConversion::RGBToYUV)
            kernels.packedRGBToYUV(reader.at(r, c0), redOffset, room.band, n);
        else
            kernels.packedRGBToMono(reader.at(r, c0), redOffset, room.band[0], n);
    });
}

int RGB24Frame::getHostClassID() { return haUint8Class; }

int RGB24Frame::getBitmapSize() { return static_cast<int>(bitmapStride(rowBytes) * height); }

void RGB24Frame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    const int bpp = bytesPerPixel[formatIndex];
    fillBitmapHeader(header, width, height, 8 * bpp);
    const int64_t stride = bitmapStride(rowBytes);
    // Formats 1 and 3 are blue first already: their rows go over whole, fourth bytes included.
    const bool blueFirst = formatIndex == 1 || formatIndex == 3;
    const RowKernels& kernels = rowKernels();
    const unsigned char* data = getData();
    forBitmapRowsInBufferOrder(height, bottomUp != 0, [&](int b, int k) {
        const unsigned char* in = data + int64_t(b) * rowBytes;
        unsigned char* out = pixels + k * stride;
        if (blueFirst)
            copyBytes(in, out, static_cast<size_t>(rowBytes));
        else if (bpp == 3)
            kernels.swap3(in, out, width);
        else
            kernels.swap4(in, out, width);  // the fourth byte is left as it was
    });
}

bool RGB24Frame::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData()) return false;
    const HostConversion conversion = chooseHostConversion(getColorSpace(), colorSpaceMask);
    const bool mono = conversion == HostConversion::RGBToMono;
    uint8_t* image = static_cast<uint8_t*>(out);
    const bool bufferBottomUp = bottomUp != 0;
    if (bytesPerPixel[formatIndex] != 3) return rgbRowMajor(conversion, image, width, height, rows(), bufferBottomUp);
    // 3-byte pixels are the image's own when red comes first, and need red and blue exchanged when
    // blue does; they give their luma straight, and their Y, U and V as bands, laid side by side as
    // a native image's are (unsplit either way).
    const int redOffset = channelOffsets[formatIndex][0];
    const RowKernels& kernels = rowKernels();
    const Rows reader = rows();
    if (conversion == HostConversion::RGBToYUV)
        return rgbRowMajor(HostConversion::Native, image, width, height,
                           [&](int r, int c0, int n, const RowScratch& room, StripRow&) {
                               kernels.packedRGBToYUV(reader.at(r, c0), redOffset, room.band, n);
                           },
                           bufferBottomUp);
    if (conversion != HostConversion::Native && !mono)
        return rgbRowMajor(conversion, image, width, height, reader, bufferBottomUp);
    forImageRowsInBufferOrder(height, bufferBottomUp, [&](int r) {
        const unsigned char* in = reader.at(r, 0);
        if (mono)
            kernels.packedRGBToMono(in, redOffset, image + int64_t(r) * width, width);
        else if (redOffset == 0)
            copyBytes(in, image + int64_t(r) * rowBytes, static_cast<size_t>(rowBytes));
        else
            kernels.swap3(in, image + int64_t(r) * rowBytes, width);
    });
    return true;
}

}  // namespace zorvframekit

// Colour images stored as three planes: full-resolution luma (Y) and two chroma planes (U, V)
// subsampled by the same factor in both directions. Three layouts, differing in the factor and the
// order of the chroma planes; always top down. The frame pads its size up to whole chroma blocks.
#ifndef ZORVFRAMEKIT_FORMATS_YUVPLANARFRAME_H
#define ZORVFRAMEKIT_FORMATS_YUVPLANARFRAME_H

#include "formats/ColumnMajor.h"
#include "frame/ZORVFrame.h"

namespace zorvframekit {

class YUVPlanarFrame : public ZORVFrame {
public:
    static const int formatCount = 3;

    // The frame for the factory, or null when the format index or the sizes cannot make one. Planar
    // YUV rows always arrive top down, so bottomUp is ignored.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    YUVPlanarFrame(int width, int height, int formatIndex);

    void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) override;
    HostArray getHostArray(int colorSpaceMask) override;
    HostArray getNativeHostArray() override;
    int getHostClassID() override;
    int getBitmapSize() override;
    void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) override;
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int colorSpaceMask, void* out) override;

private:
    struct Planes {
        const unsigned char* y;
        const unsigned char* u;
        const unsigned char* v;
    };
    // The Y, U and V planes of the buffer, in the format's plane order.
    Planes findPlanes(const unsigned char* data) const;
    // Image row r from column c0 on (c0 a multiple of the subsampling factor).
    YUVRow rowAt(const Planes& planes, int r, int c0) const;
    // The native array, or the RGB one, made from the rows.
    HostArray hostArrayOfRows(HostConversion conversion);

    int formatIndex;
    int width;
    int height;
    int bands;
    int paddedWidth;
    int paddedHeight;
    int lumaSize;
    int chromaSize;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_YUVPLANARFRAME_H

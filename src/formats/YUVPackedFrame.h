// Colour images whose luma (Y) and chroma (U, V) samples are interleaved in one byte stream: a fixed
// number of pixels packed into a fixed-size group, each pixel with its own Y and the group's pixels
// sharing U and V. Seven layouts, always top down. A window whose left edge falls inside a group is
// kept as whole groups, with the position of the first pixel inside each row's first group.
#ifndef ZORVFRAMEKIT_FORMATS_YUVPACKEDFRAME_H
#define ZORVFRAMEKIT_FORMATS_YUVPACKEDFRAME_H

#include "formats/ColumnMajor.h"
#include "frame/ZORVFrame.h"

namespace zorvframekit {

class YUVPackedFrame : public ZORVFrame {
public:
    static const int formatCount = 7;

    // The frame for the factory, or null when the format index or the sizes cannot make one. Packed
    // YUV rows always arrive top down, so bottomUp is ignored.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    YUVPackedFrame(int width, int height, int formatIndex);

    void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) override;
    HostArray getHostArray(int colorSpaceMask) override;
    HostArray getNativeHostArray() override;
    int getHostClassID() override;
    int getBitmapSize() override;
    void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) override;
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int colorSpaceMask, void* out) override;

private:
    // Switches the row layout to windows whose first pixel lies at `offset` inside its group. When
    // that changes the row size the buffer is dropped; the next getData allocates the new size.
    void setFirstPixelOffset(int offset);
    // Pixels c0 to c0 + n - 1 of buffer row r, unpacked into room's work rows.
    YUVRow unpackRow(const unsigned char* data, int r, int c0, int n, const RowScratch& room) const;
    // Buffer row r from pixel c0 on, in a 4:2:2 layout (formats 0 to 2).
    Packed422Row packed422Row(const unsigned char* data, int r, int c0) const;
    // The native array, or the RGB one, made from the rows.
    HostArray hostArrayOfRows(HostConversion conversion);
    // Pixels c0 to c0 + n - 1 of buffer row r to 3-byte pixels in `order` at out, straight from the
    // groups.
    void convertToPixels(const unsigned char* data, int r, int c0, int n, uint8_t* out, PixelOrder order) const;

    int formatIndex;
    int width;
    int height;
    int bands;
    int groupsPerRow;
    int rowStride;
    int firstPixelOffset;
    int trailingPixels;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_YUVPACKEDFRAME_H

// Colour images of one little-endian 16-bit word a pixel: 5-5-5 (format 0) or 5-6-5 (format 1);
// rows top down or bottom up.
#ifndef ZORVFRAMEKIT_FORMATS_RGB16FRAME_H
#define ZORVFRAMEKIT_FORMATS_RGB16FRAME_H

#include "frame/ZORVFrame.h"

namespace zorvframekit {

class RGB16Frame : public ZORVFrame {
public:
    static const int formatCount = 2;

    // The frame for the factory, or null when the format index or the sizes cannot make one.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    RGB16Frame(int width, int height, int formatIndex, int bottomUp);

    void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) override;
    HostArray getHostArray(int colorSpaceMask) override;
    HostArray getNativeHostArray() override;
    int getHostClassID() override;
    int getBitmapSize() override;
    void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) override;
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int colorSpaceMask, void* out) override;

private:
    // Reads the red, green and blue bands of a chunk of an image row.
    struct Rows;
    Rows rows();

    int width;
    int height;
    int bands;
    int bottomUp;
    int formatIndex;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_RGB16FRAME_H

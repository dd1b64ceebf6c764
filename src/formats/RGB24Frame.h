// Packed colour images: three 8-bit components side by side, red first or blue first, in 3 bytes or
// in 4 bytes with one unused byte; rows top down or bottom up.
#ifndef ZORVFRAMEKIT_FORMATS_RGB24FRAME_H
#define ZORVFRAMEKIT_FORMATS_RGB24FRAME_H

#include "frame/ZORVFrame.h"

namespace zorvframekit {

class RGB24Frame : public ZORVFrame {
public:
    static const int formatCount = 4;

    // The frame for the factory, or null when the format index or the sizes cannot make one.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    RGB24Frame(int width, int height, int formatIndex, int bottomUp);

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
    int rowBytes;
    int bottomUp;
    int formatIndex;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_RGB24FRAME_H

// 24-bit colour images as three 8-bit planes, red, green, blue, each top row first. One layout only:
// the type code's format index and row-order bit mean nothing here.
#ifndef ZORVFRAMEKIT_FORMATS_RGB24PLANAR_H
#define ZORVFRAMEKIT_FORMATS_RGB24PLANAR_H

#include "frame/ZORVFrame.h"

namespace zorvframekit {

class RGB24Planar : public ZORVFrame {
public:
    // The frame for the factory, or null when the sizes cannot make one. The format index and
    // row order are taken only to match the factory's signature, and ignored.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    RGB24Planar(int width, int height);

    void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) override;
    HostArray getHostArray(int colorSpaceMask) override;
    HostArray getNativeHostArray() override;
    int getHostClassID() override;
    int getBitmapSize() override;
    void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) override;
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int colorSpaceMask, void* out) override;

private:
    // Points at the red, green and blue bands of a chunk of an image row.
    struct Rows;

    int width;
    int height;
    int bands;
    int planeSize;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_RGB24PLANAR_H

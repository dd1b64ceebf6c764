// Single-band grey images of 8 to 16 bits per sample: 8-bit samples, or 10-, 12-, 14- or 16-bit
// values in two bytes stored in either byte order; rows top down or bottom up.
#ifndef ZORVFRAMEKIT_FORMATS_MONOCHROMEFRAME_H
#define ZORVFRAMEKIT_FORMATS_MONOCHROMEFRAME_H

#include "frame/ZORVFrame.h"

namespace zorvframekit {

class MonochromeFrame : public ZORVFrame {
public:
    static const int formatCount = 9;

    // The frame for the factory, or null when the format index or the sizes cannot make one.
    static IFrame* create(int width, int height, int formatIndex, int bottomUp);

    MonochromeFrame(int width, int height, int formatIndex, int bottomUp);

    void copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) override;
    HostArray getNativeHostArray() override;
    int getHostClassID() override;
    int getBitmapSize() override;
    void fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) override;
    int getBitDepth() override;
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int colorSpaceMask, void* out) override;

private:
    int width;
    int height;
    int bands;
    int bottomUp;
    int formatIndex;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_MONOCHROMEFRAME_H

// What a host whose arrays are laid out by rows (the Python package: NumPy's own C order) asks of a
// frame beyond IFrame: the image getHostArray gives, written row after row from the top, each pixel's
// bands side by side, by the row kernels straight from the frame's rows. The host reaches it through
// the frame object itself (every frame the library makes is a ZORVFrame, which derives from this), so
// the library exports nothing for it and IFrame's table stays as it is: only a host compiled against
// these very headers, built with the library, may use it.
#ifndef ZORVFRAMEKIT_FRAME_ROWMAJORIMAGE_H
#define ZORVFRAMEKIT_FRAME_ROWMAJORIMAGE_H

#include "kernels/KernelLevel.h"

namespace zorvframekit {

// The shape of a row-major image: {height, width} samples for one band, {height, width, 3} for three.
struct RowMajorLayout {
    int colorSpace;   // the image's colour space; 0 when the frame gives no image for the mask
    int bands;        // 1 or 3
    int sampleBytes;  // 1, or 2 (native-endian) for monochrome frames of more than 8 bits
};

class RowMajorImage {
public:
    // The image getHostArray(colorSpaceMask) gives: the same colour space, shape and samples.
    // colorSpace 0 where it gives none (no space of the mask can be served, or a frame of wider
    // samples is asked for another space than its own). Depends on the frame's type and the mask
    // alone, not on what the frame holds.
    virtual RowMajorLayout rowMajorLayout(int colorSpaceMask) = 0;

    // Writes that image at `out`: height rows of width pixels, the image's top row first whatever
    // the buffer's row order, rows back to back. False, with nothing written, when the frame holds
    // no data, the layout has no colour space, or the scratch rows cannot be had.
    virtual bool fillRowMajor(int colorSpaceMask, void* out) = 0;

    // The kernel level the library's conversions run at (process-wide), the best one this machine
    // runs, and running another one from now on (false, and nothing changes, when the machine cannot
    // run it): for a host's benchmarks and tests, as bench/'s --kernels.
    virtual KernelLevel activeKernelLevel() = 0;
    virtual KernelLevel machineKernelLevel() = 0;
    virtual bool runKernelLevel(KernelLevel level) = 0;

protected:
    ~RowMajorImage() {}
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FRAME_ROWMAJORIMAGE_H

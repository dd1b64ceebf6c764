// The GenICam pixel formats whose bytes a frame type holds exactly as the camera sends them, and
// how a camera's rows go into a frame. Nothing is converted on the way: a format without such a
// frame type is refused, and Bayer mosaics travel as Mono8 frames that say which mosaic they are.
#ifndef ARAVISENGINE_PIXELFORMATMAP_H
#define ARAVISENGINE_PIXELFORMATMAP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <zorvframekit/zorvframekit.h>

namespace aravisengine {

struct PixelFormatMapping {
    const char* name;          // as the camera's PixelFormat feature names it
    uint32_t pixelFormat;      // its PFNC code; bits 16-23 are the bits a pixel takes
    FrameTypeCode frameType;   // the frame type with the same bytes
    int groupWidth;            // pixels that share their bytes (a YUV group): rows hold whole groups
    const char* bayerPattern;  // the mosaic's top-left 2x2 ("RG": red, green / green, blue); null if none
};

const std::vector<PixelFormatMapping>& pixelFormatMappings();

// Null when the format has no frame type of the same layout.
const PixelFormatMapping* findPixelFormat(uint32_t pixelFormat);
const PixelFormatMapping* findPixelFormat(const std::string& name);  // any letter case

// "Mono8, Mono10, ...": what findPixelFormat knows, for messages.
std::string mappedFormatNames();

// Bytes of one row of `width` pixels, as the camera sends it without padding.
size_t rowBytes(const PixelFormatMapping& format, int width);

// Fills `frame` (the format's frame type, width x height) from a camera's image whose rows are
// rowBytes + `rowPadding` bytes apart, of which the camera delivered `size` bytes. False when the
// image is shorter than that or the frame gets no buffer (its memory limiter refuses it).
bool copyImage(IFrame* frame, const PixelFormatMapping& format, const unsigned char* image, size_t size, int width,
               int height, size_t rowPadding);

}  // namespace aravisengine

#endif  // ARAVISENGINE_PIXELFORMATMAP_H

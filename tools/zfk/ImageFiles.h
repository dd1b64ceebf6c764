// Writing what the tool makes: Windows bitmaps, PNG pictures, NumPy arrays, and files that appear
// only whole.
#ifndef ZFK_IMAGEFILES_H
#define ZFK_IMAGEFILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "SyntheticCamera.h"
#include "zorvframekit/zorvframekit.h"

namespace zfk {

// A bitmap as a frame renders it: its header and bottom-up rows padded to 4 bytes.
struct Bitmap {
    BITMAPINFOHEADER header{};
    std::vector<uint8_t> pixels;
};

// The whole bytes of a .bmp file for the bitmap (a grey palette is added to 8-bit ones, which
// frames render without one).
std::vector<uint8_t> bmpFileBytes(const Bitmap& bitmap);

// The bitmap's pixels as top-down RGB, whatever its bits per pixel (8, 16, 24 or 32).
RGBImage decodeBitmap(const Bitmap& bitmap);

// A 24-bit bitmap of an RGB image.
Bitmap bitmapOf(const RGBImage& image);

// The whole bytes of a .png file of an RGB image (8 bits a channel, compressed losslessly). The
// encoder counts bytes in ints: an image that pngFits refuses cannot be written.
bool pngFits(int width, int height);
std::vector<uint8_t> pngFileBytes(const RGBImage& image);

// A .npy file of a host array: Fortran order, so the array's own column-major block is written as
// it stands, with the dtype of its class.
std::vector<uint8_t> npyFileBytes(HostArray array);

// Writes the bytes to a temporary file of its own beside `path` (a new name, created exclusively:
// no file of the user's, nor another writer's, is touched), flushes it to disk and renames it into
// place, so that `path` is either what it was or the whole new file. False (and nothing left
// behind) on failure.
bool writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Reads a regular file of exactly `expectedSize` bytes, the size of what `expected` names ("a 4x4
// YUY2 image"); anything else is an error, said in `error`, and nothing is read.
bool readFile(const std::string& path, int64_t expectedSize, const std::string& expected, std::vector<uint8_t>& bytes,
              std::string& error);

// Draws text with a built-in 5 x 7 font, scaled by `scale`, top-left at (x, y).
void drawText(RGBImage& image, int x, int y, const std::string& text, const uint8_t* rgb, int scale = 1);

}  // namespace zfk

#endif  // ZFK_IMAGEFILES_H

// What the Python package needs to know of a frame type beyond the library's interface: its name,
// and the byte sizes a caller's buffer must have. Everything is asked of the library itself
// (frameFactory's sizes) or of the tool's format table, so no layout is written down twice.
#ifndef ZFK_PYTHON_LAYOUT_H
#define ZFK_PYTHON_LAYOUT_H

#include <cstdint>
#include <string>

#include "FormatTable.h"

namespace zfkpy {

// A type code from what a Python caller gives: a code, or a format name (any case) with bottom_up.
// Throws ValueError for an unknown code or name, or for bottom_up with a top-down-only family.
FrameTypeCode typeCodeOf(const std::string& name, bool bottomUp);
FrameTypeCode typeCodeOf(int64_t code, bool bottomUp);

// "YUY2", "Mono12BE bottom-up"; the code in hex when the table does not know it.
std::string typeName(FrameTypeCode code);

// Raw bytes of a width x height image of this type; 0 when the library makes no such frame.
int64_t rawBytes(FrameTypeCode code, int width, int height);

bool isPackedYUV(FrameTypeCode code);
bool isPlanarYUV(FrameTypeCode code);

// Pixels that share one group of a packed YUV row: 1, 2, 4 or 8.
int pixelsPerGroup(FrameTypeCode code);

// The chroma subsampling factor of a planar YUV type: 2 or 4.
int subsampling(FrameTypeCode code);

}  // namespace zfkpy

#endif  // ZFK_PYTHON_LAYOUT_H

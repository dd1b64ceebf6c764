// Every frame type the library knows, by the names people use for them.
#ifndef ZFK_FORMATTABLE_H
#define ZFK_FORMATTABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "zorvframekit/zorvframekit.h"

namespace zfk {

struct FormatInfo {
    const char* name;        // common name, as given on the command line
    uint32_t family;         // bits 24-31 of the type code
    int formatIndex;         // bits 0-7
    bool hasRowOrder;        // the family honours the bottom-up bit
    const char* description; // the raw layout in a few words
};

const std::vector<FormatInfo>& allFormats();

// Looks a format up by name (case-insensitive); null if unknown.
const FormatInfo* findFormat(const std::string& name);

// The format of a type code (bottom-up bit and uninterpreted bits aside); null if unknown.
const FormatInfo* findFormat(FrameTypeCode code);

FrameTypeCode codeOf(const FormatInfo& format, bool bottomUp);

// "Mono12BE", or "Mono12BE bottom-up".
std::string displayName(const FormatInfo& format, bool bottomUp);

const char* colorSpaceName(int colorSpace);

// Bytes of a raw frame of this code and size, as the library lays it out; 0 if it makes no frame.
int64_t rawFrameBytes(FrameTypeCode code, int width, int height);

}  // namespace zfk

#endif  // ZFK_FORMATTABLE_H

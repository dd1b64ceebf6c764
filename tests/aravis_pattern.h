// The image Aravis's camera simulator draws, written out from what it sends: a ramp along the
// diagonals, v = (x + y + frame id) mod 255 (x and y within the region), scaled by
// 1 + gain + log10(exposure / 10 ms) and cut at 255 in Mono8. Mono16 counts (x + y + id) mod 65535,
// high byte first. RGB8 runs v through a blue-green-yellow-red colour ramp, each channel a tent
// 4 levels a step wide, and the Bayer mosaics take one channel of that colour a pixel.
#ifndef ZFK_TESTS_ARAVIS_PATTERN_H
#define ZFK_TESTS_ARAVIS_PATTERN_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace simulator {

// Channel 0 red, 1 green, 2 blue of the colour ramp at v.
inline uint8_t colour(int v, int channel) {
    static const int rise[3] = {380, 124, -132};  // where each channel's tent starts, times 4
    const int level = std::min(4 * v - rise[channel], rise[channel] + 768 - 4 * v);
    return uint8_t(std::clamp(level, 0, 255));
}

// The bytes of a width x height image of `format` for the frame id, as the simulator sends them.
inline std::vector<uint8_t> image(const std::string& format, int width, int height, uint64_t id, double exposureUs = 10000,
                                  double gain = 0) {
    const double scale = 1 + gain + std::log10(exposureUs / 10000);
    const bool mono8 = format == "Mono8", mono16 = format == "Mono16", rgb8 = format == "RGB8";
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = int((x + y + id) % 255);
            if (mono8) {
                bytes.push_back(uint8_t(std::min(255.0, v * scale)));
            } else if (mono16) {
                const unsigned value = unsigned((x + y + id) % 65535);
                bytes.push_back(uint8_t(value >> 8));
                bytes.push_back(uint8_t(value));
            } else if (rgb8) {
                for (int channel = 0; channel < 3; ++channel) bytes.push_back(colour(v, channel));
            } else {  // BayerGR8: green, red / blue, green
                const int channel = (y % 2 == 0) ? (x % 2 == 0 ? 1 : 0) : (x % 2 == 0 ? 2 : 1);
                bytes.push_back(colour(v, channel));
            }
        }
    return bytes;
}

}  // namespace simulator

#endif  // ZFK_TESTS_ARAVIS_PATTERN_H

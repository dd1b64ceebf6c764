// The tool's commands. Each is given what its command line said, already read into values; it
// checks what only it can judge (does the window fit the image, is the input the right size) and
// says no by throwing Failure, which the command line turns into a message and exit status 2.
#ifndef ZFK_COMMANDS_H
#define ZFK_COMMANDS_H

#include <cstdio>
#include <string>
#include <vector>

#include "FormatTable.h"

namespace zfk {

const int kUsageError = 2;

struct Failure {
    std::string message;
};

[[noreturn]] inline void fail(const std::string& message) { throw Failure{message}; }

// Where a command writes: listings and tables to `out`, warnings and progress to `err`.
struct Console {
    std::FILE* out;
    std::FILE* err;
};

// A frame type, as --format NAME or --code 0xHEX and --bottom-up chose it.
struct FrameChoice {
    const FormatInfo* format = nullptr;
    FrameTypeCode code = 0;
};

// WxH, with the text as given, for messages.
struct Size {
    int width = 0, height = 0;
    std::string text;
};

struct Window {
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;
};

struct DemoOptions {
    std::string outDir = "out/demo";
    int width = 640, height = 480;
};

struct ConvertOptions {
    FrameChoice choice;
    Size size;  // of the raw image
    bool windowed = false;
    Window window;
    std::string space = "native";
    bool spaceGiven = false;
    std::string outDir;  // empty: one input, one output
    std::string to = "bmp";
    bool toGiven = false;
    std::vector<std::string> files;
};

struct CaptureOptions {
    FrameChoice choice;
    Size size;
    std::string output;
};

struct BenchOptions {
    const FormatInfo* format = nullptr;  // every format when null
    std::vector<Size> sizes;             // 640x480 and 1920x1080 when empty
    int runs = 11;
    int kernels = -1;  // a KernelLevel to run instead of the best, or -1
};

// zfk cameras and zfk acquire, in a zfk built with Aravis.
struct CamerasOptions {
    bool fake = false;  // list with the camera simulator running
};

struct AcquireOptions {
    std::string camera;  // empty: the first camera found
    bool fake = false;   // the camera simulator, started in this process on the loopback interface
    std::string format;  // a GenICam pixel format; empty: the camera's own
    bool sized = false;
    Size size;
    bool offsetGiven = false;
    int offsetX = 0, offsetY = 0;
    double rate = 0, exposure = 0;  // frames a second, microseconds; 0: the camera's own
    long long count = 10;
    bool countGiven = false;
    double seconds = 0;
    bool secondsGiven = false;
    std::string outDir;  // empty: frames are taken and counted, not written
    std::string to = "bmp";
    bool toGiven = false;
};

int runDemo(const DemoOptions& options, const Console& console);
int runConvert(const ConvertOptions& options, const Console& console);
int runFormats(int width, int height, const Console& console);
int runCapture(const CaptureOptions& options, const Console& console);
int runBench(const BenchOptions& options, const Console& console);
int runCameras(const CamerasOptions& options, const Console& console);
int runAcquire(const AcquireOptions& options, const Console& console);

bool isYUVPlanar(const FormatInfo& format);
int subsamplingOf(const FormatInfo& format);

}  // namespace zfk

#endif  // ZFK_COMMANDS_H

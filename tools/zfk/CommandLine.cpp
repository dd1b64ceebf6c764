#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "kernels/KernelLevel.h"
#include "zorvframekit/zorvframekit.h"

namespace zfk {

namespace {

const char* const kDescription =
    "zfk: the frame library on a built-in test scene, a converter of raw camera dumps, a list of the\n"
    "frame types it knows, and GenICam cameras through Aravis. 'zfk COMMAND --help' tells more of each command.";

const char* const kSynopsis =
    "\nIn short:\n"
    "  zfk demo [--out DIR] [--size WxH]\n"
    "  zfk convert (--format NAME | --code 0xHEX) --size WxH [--bottom-up] [--window X,Y,W,H]\n"
    "              [--space native|rgb|yuv|mono] IN.raw OUT.bmp|OUT.png|OUT.npy\n"
    "  zfk convert ... --out-dir DIR [--to bmp|png|npy] IN.raw...\n"
    "  zfk formats [--size WxH]\n"
    "  zfk capture (--format NAME | --code 0xHEX) --size WxH [--bottom-up] OUT.raw\n"
    "  zfk bench [--format NAME] [--size WxH] [--runs N] [--kernels LEVEL]\n"
#if defined(ZFK_WITH_ARAVIS)
    "  zfk cameras [--fake]\n"
    "  zfk acquire [--camera ID | --fake] [--format NAME] [--size WxH [--offset X,Y]] [--rate FPS]\n"
    "              [--exposure US] [--count N | --seconds S] [--out-dir DIR [--to bmp|png|npy]]\n"
#endif
    ;

bool parseInt(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && value >= -2147483648LL && value <= 2147483647LL;
}

Size parseSize(const std::string& text) {
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), w) || !parseInt(text.substr(x + 1), h) || w <= 0 || h <= 0)
        fail("bad size '" + text + "': expected WxH with positive numbers, e.g. 640x480");
    return Size{int(w), int(h), text};
}

Window parseWindow(const std::string& text) {
    std::vector<long long> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        long long value = 0;
        if (!parseInt(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), value))
            fail("bad window '" + text + "': expected X,Y,W,H");
        parts.push_back(value);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 4 || parts[0] < 0 || parts[1] < 0 || parts[2] <= 0 || parts[3] <= 0)
        fail("bad window '" + text + "': expected X,Y,W,H with X, Y >= 0 and W, H > 0");
    return Window{int(parts[0]), int(parts[1]), int(parts[2]), int(parts[3]), text};
}

// --format NAME or --code 0xHEX (exactly one of them), and --bottom-up.
struct FormatOptions {
    CLI::Option* name = nullptr;
    CLI::Option* code = nullptr;
    std::string nameText, codeText;
    bool bottomUp = false;

    void addTo(CLI::App& command) {
        name = command.add_option("--format", nameText, "frame type by name (zfk formats lists them)")->type_name("NAME");
        code = command.add_option("--code", codeText, "frame type by its type code, in hex (0x11000000)")->type_name("0xHEX");
        command.add_flag("--bottom-up", bottomUp, "rows arrive bottom row first (families that have a row order)");
    }

    FrameChoice choose() const {
        FrameChoice choice;
        if ((name->count() > 0) == (code->count() > 0)) fail("give exactly one of --format NAME and --code 0xHEX");
        if (name->count() > 0) {
            choice.format = findFormat(nameText);
            if (!choice.format) fail("unknown format '" + nameText + "' (zfk formats lists them)");
            choice.code = codeOf(*choice.format, false);
        } else {
            char* end = nullptr;
            const unsigned long long value = std::strtoull(codeText.c_str(), &end, 16);
            if (codeText.empty() || *end != '\0' || value > 0xFFFFFFFFull)
                fail("bad type code '" + codeText + "': expected hex, e.g. 0x11000000");
            choice.code = static_cast<FrameTypeCode>(value);
            choice.format = findFormat(choice.code);
            std::unique_ptr<IFrame, zorvframekit::FrameRelease> probe(frameFactory(choice.code, 1, 1));
            if (!choice.format || !probe) fail("unknown type code '" + codeText + "' (zfk formats lists them)");
        }
        if (bottomUp) {
            if (!choice.format->hasRowOrder)
                fail(std::string(choice.format->name) + " frames are always top-down; drop --bottom-up");
            choice.code |= 0x100;
        }
        return choice;
    }
};

// A repeated option would otherwise quietly take its last value: a script that says --size twice
// has a mistake in it.
void refuseRepeatedOptions(const CLI::App& command) {
    for (const CLI::Option* option : command.get_options())
        if (!option->get_positional() && option->count() > 1)
            fail("option " + option->get_name() + " is given twice");
}

bool isCommand(const std::string& word) {
    return word == "demo" || word == "convert" || word == "formats" || word == "capture" || word == "bench" ||
           word == "cameras" || word == "acquire";
}

#if defined(ZFK_WITH_ARAVIS)
double parsePositive(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value > 0) || value > 1e9)
        fail("bad " + option + " '" + text + "': expected a positive number");
    return value;
}

// zfk cameras and zfk acquire.
struct CameraCommands {
    CLI::App* list = nullptr;
    CLI::App* acquire = nullptr;
    CamerasOptions listOptions;
    AcquireOptions acquireOptions;
    std::string size, offset, rate, exposure, count, seconds;
    CLI::Option *sizeOption = nullptr, *offsetOption = nullptr, *rateOption = nullptr, *exposureOption = nullptr,
                *countOption = nullptr, *secondsOption = nullptr, *toOption = nullptr;

    void addTo(CLI::App& app) {
        list = app.add_subcommand("cameras", "lists the cameras Aravis finds (GigE Vision and USB3 Vision)");
        list->add_flag("--fake", listOptions.fake, "run Aravis's camera simulator on the loopback interface too");

        AcquireOptions& o = acquireOptions;
        acquire = app.add_subcommand("acquire", "streams frames from a camera through the Aravis engine, writes them as they "
                                                "come, and says what was received, dropped, and how late");
        acquire->add_option("--camera", o.camera, "the camera's id, serial or address (zfk cameras lists them; default: "
                                                  "the first one found)")->type_name("ID");
        acquire->add_flag("--fake", o.fake, "Aravis's camera simulator, started here on the loopback interface");
        acquire->add_option("--format", o.format, "GenICam pixel format (default: the camera's)")->type_name("NAME");
        sizeOption = acquire->add_option("--size", size, "the region's size (default: the camera's)")->type_name("WxH");
        offsetOption = acquire->add_option("--offset", offset, "the region's top-left corner (default 0,0)")->type_name("X,Y");
        rateOption = acquire->add_option("--rate", rate, "frames a second (default: the camera's)")->type_name("FPS");
        exposureOption = acquire->add_option("--exposure", exposure, "exposure time in microseconds (default: the "
                                                                      "camera's)")->type_name("US");
        countOption = acquire->add_option("--count", count, "frames to take (default 10)")->type_name("N");
        secondsOption = acquire->add_option("--seconds", seconds, "take frames for this long instead")->type_name("S");
        acquire->add_option("--out-dir", o.outDir, "write each frame to DIR/frame-NNNNNN.bmp, .png or .npy")->type_name("DIR");
        toOption = acquire->add_option("--to", o.to, "with --out-dir: bmp (default), png or npy")->type_name("bmp|png|npy");
    }

    void readAcquire() {
        AcquireOptions& o = acquireOptions;
        o.sized = sizeOption->count() > 0;
        if (o.sized) o.size = parseSize(size);
        o.offsetGiven = offsetOption->count() > 0;
        if (o.offsetGiven) {
            const size_t comma = offset.find(',');
            long long x = -1, y = -1;
            if (comma == std::string::npos || !parseInt(offset.substr(0, comma), x) || !parseInt(offset.substr(comma + 1), y) ||
                x < 0 || y < 0)
                fail("bad --offset '" + offset + "': expected X,Y with X, Y >= 0");
            o.offsetX = int(x);
            o.offsetY = int(y);
        }
        if (rateOption->count() > 0) o.rate = parsePositive("--rate", rate);
        if (exposureOption->count() > 0) o.exposure = parsePositive("--exposure", exposure);
        o.countGiven = countOption->count() > 0;
        if (o.countGiven && (!parseInt(count, o.count) || o.count < 1))
            fail("bad --count '" + count + "': expected a whole number from 1");
        o.secondsGiven = secondsOption->count() > 0;
        if (o.secondsGiven) o.seconds = parsePositive("--seconds", seconds);
        o.toGiven = toOption->count() > 0;
    }
};
#endif

}  // namespace

int runCommandLine(int argc, const char* const* argv, const Console& console) {
    CLI::App app{kDescription, "zfk"};
    app.require_subcommand(1);
    // Every option may be given more than once as far as the parser goes; refuseRepeatedOptions then
    // names the repeat in words of our own.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    DemoOptions demo;
    std::string demoSize;
    CLI::App* demoCommand = app.add_subcommand(
        "demo", "renders a test scene into every frame type, writes a bitmap of each and a contact sheet, and "
                "prints how each converts");
    demoCommand->add_option("--out", demo.outDir, "output folder (default out/demo)")->type_name("DIR");
    CLI::Option* demoSizeOption = demoCommand->add_option("--size", demoSize, "frame size (default 640x480)")->type_name("WxH");

    ConvertOptions convert;
    FormatOptions convertFormat;
    std::string convertSize, convertWindow;
    CLI::App* convertCommand = app.add_subcommand(
        "convert", "converts raw frames (IN is a whole image of WxH; --window cuts a frame out of it) to a picture "
                   "(.bmp, .png) or a NumPy array (.npy); with --out-dir, any number of inputs");
    convertFormat.addTo(*convertCommand);
    CLI::Option* convertSizeOption = convertCommand->add_option("--size", convertSize, "size of the raw image")->type_name("WxH");
    CLI::Option* windowOption = convertCommand->add_option("--window", convertWindow, "the frame: a window of the image")->type_name("X,Y,W,H");
    CLI::Option* spaceOption =
        convertCommand->add_option("--space", convert.space, "colour space of a .npy output: native, rgb, yuv or mono")->type_name("SPACE");
    convertCommand->add_option("--out-dir", convert.outDir, "write each input's result to DIR/NAME.bmp, .png or .npy")->type_name("DIR");
    CLI::Option* toOption = convertCommand->add_option("--to", convert.to, "with --out-dir: bmp (default), png or npy")->type_name("bmp|png|npy");
    convertCommand->add_option("files", convert.files, "IN.raw OUT.bmp|OUT.png|OUT.npy, or with --out-dir: IN.raw...")->type_name("FILE");

    std::string formatsSize;
    CLI::App* formatsCommand =
        app.add_subcommand("formats", "lists every frame type with its type code and bytes per frame");
    CLI::Option* formatsSizeOption = formatsCommand->add_option("--size", formatsSize, "frame size (default 640x480)")->type_name("WxH");

    CaptureOptions capture;
    FormatOptions captureFormat;
    std::string captureSize;
    std::vector<std::string> captureFiles;
    CLI::App* captureCommand =
        app.add_subcommand("capture", "writes the test scene as a raw frame, as a camera would deliver it");
    captureFormat.addTo(*captureCommand);
    CLI::Option* captureSizeOption = captureCommand->add_option("--size", captureSize, "frame size")->type_name("WxH");
    captureCommand->add_option("file", captureFiles, "OUT.raw")->type_name("FILE");

    BenchOptions bench;
    std::string benchFormat, benchSize, benchRuns, benchKernels;
    CLI::App* benchCommand = app.add_subcommand(
        "bench", "times each operation of each frame type through the library, beside a memcpy of the bytes it "
                 "writes and, for host arrays, the least a host array costs");
    CLI::Option* benchFormatOption =
        benchCommand->add_option("--format", benchFormat, "one frame type (default: all)")->type_name("NAME");
    CLI::Option* benchSizeOption =
        benchCommand->add_option("--size", benchSize, "one frame size (default: 640x480 and 1920x1080)")->type_name("WxH");
    CLI::Option* benchRunsOption =
        benchCommand->add_option("--runs", benchRuns, "timed runs of each, whose median is shown (default 11)")->type_name("N");
    CLI::Option* benchKernelsOption = benchCommand->add_option(
        "--kernels", benchKernels, "a lower kernel level to run: plain, sse2, ssse3, avx2, avx-512 (the library's test build only)")
        ->type_name("LEVEL");

#if defined(ZFK_WITH_ARAVIS)
    CameraCommands cameras;
    cameras.addTo(app);
#endif

    app.footer(kSynopsis);  // after the commands, which would inherit it

    const std::string first = argc >= 2 ? argv[1] : "";
    const std::string command = isCommand(first) ? first : "";
    const std::string who = command.empty() ? "zfk" : "zfk " + command;
    try {
        if (argc < 2) {
            std::fputs(app.help().c_str(), console.err);
            return kUsageError;
        }
        if (first == "help") {
            std::fputs(app.help().c_str(), console.out);
            return 0;
        }
        if (command.empty() && first.compare(0, 1, "-") != 0) fail("unknown command '" + first + "'");
#if !defined(ZFK_WITH_ARAVIS)
        if (command == "cameras" || command == "acquire")
            fail("this zfk was built without Aravis (Debian's libaravis-dev; then build again)");
#endif
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            std::fputs(app.help().c_str(), console.out);  // the help of the command that asked
            return 0;
        }

        if (*demoCommand) {
            refuseRepeatedOptions(*demoCommand);
            if (demoSizeOption->count() > 0) {
                const Size size = parseSize(demoSize);
                demo.width = size.width;
                demo.height = size.height;
            }
            return runDemo(demo, console);
        }
        if (*convertCommand) {
            refuseRepeatedOptions(*convertCommand);
            convert.choice = convertFormat.choose();
            if (convertSizeOption->count() == 0) fail("--size WxH (the size of the raw image) is needed");
            convert.size = parseSize(convertSize);
            convert.windowed = windowOption->count() > 0;
            if (convert.windowed) convert.window = parseWindow(convertWindow);
            convert.spaceGiven = spaceOption->count() > 0;
            convert.toGiven = toOption->count() > 0;
            return runConvert(convert, console);
        }
        if (*formatsCommand) {
            refuseRepeatedOptions(*formatsCommand);
            const Size size = formatsSizeOption->count() > 0 ? parseSize(formatsSize) : Size{640, 480, "640x480"};
            return runFormats(size.width, size.height, console);
        }
        if (*benchCommand) {
            refuseRepeatedOptions(*benchCommand);
            if (benchFormatOption->count() > 0) {
                bench.format = findFormat(benchFormat);
                if (!bench.format) fail("unknown format '" + benchFormat + "' (zfk formats lists them)");
            }
            if (benchSizeOption->count() > 0) bench.sizes.push_back(parseSize(benchSize));
            if (benchRunsOption->count() > 0) {
                long long runs = 0;
                if (!parseInt(benchRuns, runs) || runs < 1 || runs > 1000)
                    fail("bad --runs '" + benchRuns + "': expected a number from 1 to 1000");
                bench.runs = static_cast<int>(runs);
            }
            if (benchKernelsOption->count() > 0) {
                zorvframekit::KernelLevel level;
                if (!zorvframekit::parseKernelLevel(benchKernels.c_str(), &level))
                    fail("unknown kernel level '" + benchKernels + "': plain, sse2, ssse3, avx2 or avx-512");
                bench.kernels = static_cast<int>(level);
            }
            return runBench(bench, console);
        }
#if defined(ZFK_WITH_ARAVIS)
        if (*cameras.list) {
            refuseRepeatedOptions(*cameras.list);
            return runCameras(cameras.listOptions, console);
        }
        if (*cameras.acquire) {
            refuseRepeatedOptions(*cameras.acquire);
            cameras.readAcquire();
            return runAcquire(cameras.acquireOptions, console);
        }
#endif
        refuseRepeatedOptions(*captureCommand);
        capture.choice = captureFormat.choose();
        if (captureSizeOption->count() == 0) fail("--size WxH is needed");
        capture.size = parseSize(captureSize);
        if (captureFiles.size() != 1) fail("give one output file");
        capture.output = captureFiles[0];
        return runCapture(capture, console);
    } catch (const CLI::ParseError& error) {
        std::fprintf(console.err, "%s: %s ('%s --help' lists what it takes)\n", who.c_str(), error.what(), who.c_str());
        return kUsageError;
    } catch (const Failure& failure) {
        std::fprintf(console.err, "%s: %s\n", who.c_str(), failure.message.c_str());
        return kUsageError;
    } catch (const std::bad_alloc&) {
        std::fprintf(console.err, "%s: out of memory\n", who.c_str());
        return kUsageError;
    }
}

}  // namespace zfk

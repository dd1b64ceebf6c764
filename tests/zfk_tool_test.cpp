// The zfk tool end to end: it runs here as a separate program, as a person would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

// stb's PNG reader, to read back what the tool wrote with its writer.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace fs = std::filesystem;

namespace {

// The tests run in the folder that holds zfk (see tests/CMakeLists.txt).
struct Result {
    int status;
    std::string errors;
    std::string output;
};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Result zfk(const std::string& arguments) {
    const std::string outputFile = "zfk_test_stdout.txt", errorFile = "zfk_test_stderr.txt";
#if defined(_WIN32)
    const std::string command = "zfk.exe " + arguments + " > " + outputFile + " 2> " + errorFile;
#else
    const std::string command = "./zfk " + arguments + " > " + outputFile + " 2> " + errorFile;
#endif
    int status = std::system(command.c_str());
#if !defined(_WIN32)
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return Result{status, readText(errorFile), readText(outputFile)};
}

std::vector<unsigned char> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned read32(const std::vector<unsigned char>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | unsigned(bytes[at + 3]) << 24;
}

class ZfkTool : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path("zfk_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    std::string at(const std::string& name) const { return (folder / name).string(); }
    fs::path folder;
};

TEST_F(ZfkTool, TheDemoDrawsEveryFrameTypeCloseToTheScene) {
    ASSERT_EQ(zfk("demo --size 192x128 --out " + at("demo")).status, 0);
    const std::vector<unsigned char> sheet = readBytes(folder / "demo" / "contact-sheet.bmp");
    ASSERT_GT(sheet.size(), 54u);
    EXPECT_EQ(sheet[0], 'B');
    EXPECT_EQ(sheet[1], 'M');
    EXPECT_EQ(read32(sheet, 2), sheet.size());
    const std::vector<unsigned char> png = readBytes(folder / "demo" / "contact-sheet.png");
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(width, int(read32(sheet, 18)));  // the same sheet
    EXPECT_EQ(height, int(read32(sheet, 22)));
    stbi_image_free(rgb);

    // name,code,raw_bytes,bitmap_bpp,mean_error,max_error,smooth_error
    std::ifstream summary(folder / "demo" / "summary.csv");
    std::string line;
    std::getline(summary, line);
    struct Errors {
        double mean;
        int max;
        double smooth;
    };
    std::map<std::string, Errors> errors;
    while (std::getline(summary, line)) {
        std::stringstream fields(line);
        std::string name, code, raw, bpp, mean, max, smooth;
        for (std::string* field : {&name, &code, &raw, &bpp, &mean, &max, &smooth}) std::getline(fields, *field, ',');
        errors[name] = {std::stod(mean), std::stoi(max), std::stod(smooth)};
        std::string file = name;
        std::replace(file.begin(), file.end(), ' ', '-');
        EXPECT_TRUE(fs::exists(folder / "demo" / (file + ".bmp"))) << file;
    }
    EXPECT_EQ(errors.size(), 41u);  // every format, both row orders where a family has them
    for (const auto& entry : errors) {
        const std::string& name = entry.first;
        const double mean = entry.second.mean, smooth = entry.second.smooth;
        const int max = entry.second.max;
        if (name.rfind("Mono", 0) == 0 || name.rfind("RGB24", 0) == 0 || name.rfind("BGR24", 0) == 0 ||
            name.rfind("RGBX", 0) == 0 || name.rfind("BGRX", 0) == 0 || name.rfind("RGBP", 0) == 0) {
            EXPECT_EQ(max, 0) << name;  // lossless
        } else if (name.rfind("RGB5", 0) == 0) {
            EXPECT_LE(max, 7) << name;  // 5 or 6 bits a channel
        } else if (name == "IYU2" || name == "UVY") {
            EXPECT_LE(max, 3) << name;  // full chroma: only rounding in and out of YUV
        } else {
            // Shared chroma blurs the scene's fine chroma stripes; elsewhere only the bars' edges differ.
            EXPECT_LE(mean, 20.0) << name;
            EXPECT_LE(smooth, 6.0) << name;
        }
    }
}

// The RGB24 bytes of a 5 x 3 capture, read back through a bitmap and a NumPy array.
TEST_F(ZfkTool, ConvertRoundTripsACapturedFrame) {
    ASSERT_EQ(zfk("capture --format RGB24 --size 5x3 " + at("scene.raw")).status, 0);
    const std::vector<unsigned char> raw = readBytes(folder / "scene.raw");
    ASSERT_EQ(raw.size(), 45u);

    ASSERT_EQ(zfk("convert --format RGB24 --size 5x3 " + at("scene.raw") + " " + at("scene.bmp")).status, 0);
    const std::vector<unsigned char> bmp = readBytes(folder / "scene.bmp");
    ASSERT_EQ(bmp.size(), 14u + 40u + 16u * 3u);
    EXPECT_EQ(read32(bmp, 10), 54u);  // pixels follow the headers
    EXPECT_EQ(read32(bmp, 18), 5u);
    EXPECT_EQ(read32(bmp, 22), 3u);
    EXPECT_EQ(bmp[28], 24);
    for (int row = 0; row < 3; ++row)      // bitmap rows bottom up, pixels blue first
        for (int c = 0; c < 5; ++c)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(bmp[54 + (2 - row) * 16 + 3 * c + k], raw[row * 15 + 3 * c + (2 - k)]);

    // The same rendering as a PNG picture, top row first and red first.
    ASSERT_EQ(zfk("convert --format RGB24 --size 5x3 " + at("scene.raw") + " " + at("scene.png")).status, 0);
    const std::vector<unsigned char> png = readBytes(folder / "scene.png");
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(std::vector<unsigned char>(rgb, rgb + 45), raw);
    stbi_image_free(rgb);

    ASSERT_EQ(zfk("convert --format RGB24 --size 5x3 " + at("scene.raw") + " " + at("scene.npy")).status, 0);
    const std::vector<unsigned char> npy = readBytes(folder / "scene.npy");
    ASSERT_GE(npy.size(), 64u + 45u);
    const std::string header(npy.begin() + 10, npy.begin() + 10 + (npy[8] | npy[9] << 8));
    EXPECT_EQ(std::string(npy.begin() + 1, npy.begin() + 6), "NUMPY");
    EXPECT_NE(header.find("'descr': '|u1'"), std::string::npos) << header;
    EXPECT_NE(header.find("'fortran_order': True"), std::string::npos) << header;
    EXPECT_NE(header.find("'shape': (3, 5, 3)"), std::string::npos) << header;
    const size_t data = 10 + header.size();
    EXPECT_EQ(data % 64, 0u);
    ASSERT_EQ(npy.size(), data + 45);
    for (int band = 0; band < 3; ++band)  // column-major planes R, G, B
        for (int c = 0; c < 5; ++c)
            for (int r = 0; r < 3; ++r) EXPECT_EQ(npy[data + band * 15 + c * 3 + r], raw[r * 15 + 3 * c + band]);
}

TEST_F(ZfkTool, ConvertCutsWindowsConvertsSpacesAndTakesManyInputs) {
    ASSERT_EQ(zfk("capture --format Mono16BE --bottom-up --size 8x6 " + at("grey.raw")).status, 0);
    const std::vector<unsigned char> raw = readBytes(folder / "grey.raw");
    ASSERT_EQ(raw.size(), 96u);
    ASSERT_EQ(zfk("convert --code 0x11000108 --size 8x6 --window 2,1,3,2 " + at("grey.raw") + " " + at("window.npy")).status, 0);
    const std::vector<unsigned char> npy = readBytes(folder / "window.npy");
    const size_t data = npy.size() - 12;
    const std::string header(npy.begin() + 10, npy.begin() + long(data));
    EXPECT_NE(header.find("'descr': '<u2'"), std::string::npos) << header;
    EXPECT_NE(header.find("'shape': (2, 3, 1)"), std::string::npos) << header;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r) {
            const size_t at = 2 * ((5 - (1 + r)) * 8 + 2 + c);  // bottom-up, high byte first
            const unsigned want = raw[at] << 8 | raw[at + 1];
            const unsigned got = npy[data + 2 * (c * 2 + r)] | npy[data + 2 * (c * 2 + r) + 1] << 8;
            EXPECT_EQ(got, want) << c << "," << r;
        }
    // Sixteen-bit grey has no 8-bit colour form.
    const Result refused = zfk("convert --code 0x11000108 --size 8x6 --space rgb " + at("grey.raw") + " " + at("no.npy"));
    EXPECT_EQ(refused.status, 2);
    EXPECT_FALSE(fs::exists(folder / "no.npy"));

    ASSERT_EQ(zfk("capture --format YUY2 --size 6x2 " + at("a.raw")).status, 0);
    ASSERT_EQ(zfk("capture --format YUY2 --size 6x2 " + at("b.raw")).status, 0);
    fs::create_directories(folder / "out");
    ASSERT_EQ(zfk("convert --format yuy2 --size 6x2 --space rgb --out-dir " + at("out") + " --to npy " + at("a.raw") + " " +
                  at("b.raw")).status, 0);
    EXPECT_TRUE(fs::exists(folder / "out" / "a.npy"));
    EXPECT_TRUE(fs::exists(folder / "out" / "b.npy"));
    EXPECT_EQ(readBytes(folder / "out" / "a.npy"), readBytes(folder / "out" / "b.npy"));
}

TEST_F(ZfkTool, MistakesAreNamedAndLeaveNoFile) {
    ASSERT_EQ(zfk("capture --format RGB565 --size 4x4 " + at("in.raw")).status, 0);
    const std::string out = at("out.bmp");
    struct Case {
        std::string arguments, mentions;
    };
    const Case cases[] = {
        {"convert --format RGB666 --size 4x4 " + at("in.raw") + " " + out, "unknown format"},
        {"convert --code 0x07000000 --size 4x4 " + at("in.raw") + " " + out, "unknown type code"},
        {"convert --code 0x1100000A --size 4x4 " + at("in.raw") + " " + out, "unknown type code"},
        {"convert --format RGB565 --size 4y4 " + at("in.raw") + " " + out, "bad size"},
        {"convert --format RGB565 --size 0x4 " + at("in.raw") + " " + out, "bad size"},
        {"convert --format RGB565 --size 4x4 --window 2,2,3,1 " + at("in.raw") + " " + out, "does not fit"},
        {"convert --format RGB565 --size 4x3 " + at("in.raw") + " " + out, "is 24 bytes"},
        {"convert --format RGB565 --size 4x4 " + at("missing.raw") + " " + out, "cannot read"},
        {"convert --format RGB565 --size 4x4 " + at("in.raw") + " " + at("nowhere/out.bmp"), "cannot write"},
        {"convert --format RGB565 --size 4x4 " + at("in.raw") + " " + at("out.tif"), ".bmp, .png or .npy"},
        {"convert --format RGB565 --size 4x4 --space rgb " + at("in.raw") + " " + at("out.png"), "--space goes with .npy"},
        {"convert --format YUY2 --bottom-up --size 4x4 " + at("in.raw") + " " + out, "top-down"},
        {"frobnicate", "unknown command"},
        {"convert --format RGB565 --size 4x4 " + folder.string() + " " + out, "is not a regular file"},
        {"convert --format RGB565 --size 4x4 --space rgb " + at("in.raw") + " " + out, "--space goes with .npy"},
        {"convert --format RGB565 --size 4x4 --size 4x4 " + at("in.raw") + " " + out, "given twice"},
        {"capture --format RGB565 --bottom-up --bottom-up --size 4x4 " + out, "given twice"},
        {"convert --format RGB565 --size 4x4 --out-dir " + folder.string() + " " + at("in.raw") + " " + at("in.raw"),
         "would both write"},
        {"convert --format RGB565 --size 4x4 --gamma 2 " + at("in.raw") + " " + out, "--gamma"},
        {"convert --format RGB565 " + at("in.raw") + " " + out + " --size", "--size"},
        {"capture --format RGB565 --size 4x4 --window 0,0,2,2 " + out, "--window"},
        {"convert --format RGB565 --format RGB565 --size 4x4 " + at("in.raw") + " " + out, "given twice"},
        {"bench --format RGB666", "unknown format"},
        {"bench --format Mono8 --size 4x4 --runs 0", "bad --runs"},
        {"bench --format Mono8 --size 4x4 --size 8x8", "given twice"},
        {"bench --format Mono8 --size 4x4 --kernels avx3", "unknown kernel level"},
        // The shipped library has no kernel switch: only its test build does.
        {"bench --format Mono8 --size 4x4 --kernels sse2", "test build"},
    };
    for (const Case& c : cases) {
        const Result result = zfk(c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_NE(result.errors.find(c.mentions), std::string::npos) << c.arguments << "\n" << result.errors;
        EXPECT_FALSE(fs::exists(out)) << c.arguments;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// An output goes through a temporary file of the tool's own: a file of the user's named like the
// output with .part added is left as it is, and an older output is replaced whole.
TEST_F(ZfkTool, OutputsAreWrittenThroughTemporariesOfTheirOwn) {
    ASSERT_EQ(zfk("capture --format RGB24 --size 5x3 " + at("in.raw")).status, 0);
    writeText(folder / "out.bmp.part", "the user's own file");
    writeText(folder / "out.bmp", "an older picture");
    const Result converted = zfk("convert --format RGB24 --size 5x3 " + at("in.raw") + " " + at("out.bmp"));
    ASSERT_EQ(converted.status, 0) << converted.errors;
    const std::vector<unsigned char> bmp = readBytes(folder / "out.bmp");
    ASSERT_EQ(bmp.size(), 14u + 40u + 16u * 3u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(read32(bmp, 2), bmp.size());
    EXPECT_EQ(readText((folder / "out.bmp.part").string()), "the user's own file");
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"in.raw", "out.bmp", "out.bmp.part"}));

    // The same for a capture, and for a conversion that fails (it leaves the user's file too).
    writeText(folder / "scene.raw.part", "mine too");
    ASSERT_EQ(zfk("capture --format Mono8 --size 4x4 " + at("scene.raw")).status, 0);
    EXPECT_EQ(readBytes(folder / "scene.raw").size(), 16u);
    EXPECT_EQ(readText((folder / "scene.raw.part").string()), "mine too");
    EXPECT_EQ(zfk("convert --format RGB24 --size 5x3 " + at("in.raw") + " " + at("missing/out.bmp")).status, 2);
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"in.raw", "out.bmp", "out.bmp.part", "scene.raw", "scene.raw.part"}));
}

#if !defined(_WIN32)
// Two runs writing one output at the same time each write a temporary of their own: the output is
// then one run's whole file, and both succeed.
TEST_F(ZfkTool, TwoRunsWritingOneOutputAtOnceLeaveOneWholeFile) {
    ASSERT_EQ(zfk("capture --format RGB24 --size 1920x1080 " + at("a.raw")).status, 0);
    ASSERT_EQ(zfk("capture --format BGR24 --size 1920x1080 " + at("b.raw")).status, 0);  // another picture
    ASSERT_EQ(zfk("convert --format RGB24 --size 1920x1080 " + at("a.raw") + " " + at("a.bmp")).status, 0);
    ASSERT_EQ(zfk("convert --format RGB24 --size 1920x1080 " + at("b.raw") + " " + at("b.bmp")).status, 0);
    const std::vector<unsigned char> a = readBytes(folder / "a.bmp"), b = readBytes(folder / "b.bmp");
    ASSERT_NE(a, b);
    for (int round = 0; round < 4; ++round) {
        const std::string convert = "./zfk convert --format RGB24 --size 1920x1080 ";
        const std::string both = "(" + convert + at("a.raw") + " " + at("out.bmp") + " & a=$!; " + convert + at("b.raw") +
                                 " " + at("out.bmp") + " & b=$!; wait $a; first=$?; wait $b; [ $first -eq 0 ] && [ $? -eq 0 ]) 2> " +
                                 at("errors.txt");
        EXPECT_EQ(std::system(both.c_str()), 0) << readText(at("errors.txt"));
        const std::vector<unsigned char> out = readBytes(folder / "out.bmp");
        EXPECT_TRUE(out == a || out == b) << "round " << round << ": " << out.size() << " bytes, neither picture";
        EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"a.bmp", "a.raw", "b.bmp", "b.raw", "errors.txt", "out.bmp"}));
    }
}
#endif

TEST_F(ZfkTool, AWindowOffThePlanarChromaGridIsConvertedWithAWarning) {
    ASSERT_EQ(zfk("capture --format I420 --size 8x8 " + at("in.raw")).status, 0);
    const Result offGrid = zfk("convert --format I420 --size 8x8 --window 1,2,4,4 " + at("in.raw") + " " + at("a.bmp"));
    EXPECT_EQ(offGrid.status, 0);
    EXPECT_NE(offGrid.errors.find("warning"), std::string::npos) << offGrid.errors;
    EXPECT_TRUE(fs::exists(folder / "a.bmp"));
    const Result onGrid = zfk("convert --format I420 --size 8x8 --window 2,2,4,4 " + at("in.raw") + " " + at("b.bmp"));
    EXPECT_EQ(onGrid.status, 0);
    EXPECT_EQ(onGrid.errors, "");
}

TEST_F(ZfkTool, ASceneBeyondTheAddressSpaceIsRefusedNotDrawnPastItsEnd) {
    // 40000 x 40000 Mono8 is a frame the library takes (1.6 GB), but its RGB scene needs 4.8 GB.
    if (sizeof(void*) > 4) GTEST_SKIP() << "the scene would be drawn: a 64-bit address space holds it";
    const Result result = zfk("capture --format Mono8 --size 40000x40000 " + at("huge.raw"));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("address space"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(folder / "huge.raw"));
}

TEST_F(ZfkTool, EveryCommandHasItsHelp) {
    const struct {
        std::string command, mentions;
    } commands[] = {{"demo", "--out"}, {"convert", "--window"}, {"formats", "--size"}, {"capture", "--bottom-up"},
                    {"bench", "--runs"}};
    for (const auto& c : commands) {
        const Result help = zfk(c.command + " --help");
        EXPECT_EQ(help.status, 0) << c.command;
        EXPECT_NE(help.output.find("Usage: zfk " + c.command), std::string::npos) << help.output;
        EXPECT_NE(help.output.find(c.mentions), std::string::npos) << help.output;
    }
    const Result overview = zfk("--help");
    EXPECT_EQ(overview.status, 0);
    for (const char* command : {"demo", "convert", "formats", "capture", "bench"})
        EXPECT_NE(overview.output.find(command), std::string::npos) << overview.output;
    EXPECT_EQ(zfk("").status, 2);  // no command: the overview, as a mistake
}

TEST_F(ZfkTool, FormatsListsEveryFrameType) {
    const std::string listing = at("formats.txt");
#if defined(_WIN32)
    ASSERT_EQ(std::system(("zfk.exe formats --size 640x480 > " + listing).c_str()), 0);
#else
    ASSERT_EQ(std::system(("./zfk formats --size 640x480 > " + listing).c_str()), 0);
#endif
    std::ifstream in(listing);
    std::stringstream text;
    text << in.rdbuf();
    for (const char* expected : {"Mono8", "Mono12BE", "RGB24", "BGRX", "RGB565", "RGBP", "YUY2", "Y41P", "UVY", "YVU9",
                                 "I420", "0x11000000", "0x04000002", "921600", "460800"})
        EXPECT_NE(text.str().find(expected), std::string::npos) << expected;
}

// A row for every operation a frame type has, with its time and ratios; the times themselves are the
// machine's business.
TEST_F(ZfkTool, BenchTimesEveryOperationOfAFrameType) {
    const Result mono = zfk("bench --format Mono8 --size 32x16 --runs 1");
    ASSERT_EQ(mono.status, 0) << mono.errors;
    EXPECT_NE(mono.output.find("kernels "), std::string::npos) << mono.output;
    std::istringstream rows(mono.output);
    std::string line;
    std::vector<std::string> operations;
    while (std::getline(rows, line)) {
        std::istringstream fields(line);
        std::string format, size, operation, ms, memcpyRatio, floorRatio;
        if (!(fields >> format >> size >> operation >> ms >> memcpyRatio >> floorRatio) || format != "Mono8") continue;
        EXPECT_EQ(size, "32x16");
        EXPECT_EQ(ms.find_first_not_of("0123456789."), std::string::npos) << line;
        // Copies and bitmaps have no host array floor.
        EXPECT_EQ(floorRatio == "-", operation == "copyData" || operation == "fillBitmap") << line;
        operations.push_back(operation);
    }
    EXPECT_EQ(operations, (std::vector<std::string>{"copyData", "getNativeHostArray", "getHostArray(RGB)",
                                                    "getHostArray(YUV)", "fillBitmap"}));
    // A 16-bit frame converts to nothing: its own array and its bitmap only.
    const Result wide = zfk("bench --format Mono16 --size 8x8 --runs 1");
    ASSERT_EQ(wide.status, 0);
    EXPECT_EQ(wide.output.find("getHostArray(RGB)"), std::string::npos) << wide.output;
    EXPECT_NE(wide.output.find("getNativeHostArray"), std::string::npos) << wide.output;
}

}  // namespace

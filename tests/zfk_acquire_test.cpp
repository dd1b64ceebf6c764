// zfk cameras and zfk acquire, run as a person runs them, against Aravis's camera simulator
// (--fake). The suite first moves into a network namespace of its own, where the loopback interface
// is the only one: discovery asks every network the machine is on, and here there is no other.
// Where no namespace can be made, discovery is not run; acquiring opens the simulator by its
// address and asks nobody else.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "aravis_pattern.h"

namespace fs = std::filesystem;

namespace {

bool isolated = false;

bool enterLoopbackNamespace() {
    if (unshare(CLONE_NEWNET) != 0) return false;
    const int control = socket(AF_INET, SOCK_DGRAM, 0);
    if (control < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(control, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = short(request.ifr_flags | IFF_UP);
    up = up && ioctl(control, SIOCSIFFLAGS, &request) == 0;
    close(control);
    return up;
}

struct Result {
    int status;
    std::string errors, output;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Result zfk(const std::string& arguments) {
    const int status = std::system(("./zfk " + arguments + " > acquire_stdout.txt 2> acquire_stderr.txt").c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText("acquire_stderr.txt"), readText("acquire_stdout.txt")};
}

class ZfkAcquire : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path("zfk_acquire_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    std::string at(const std::string& name) const { return (folder / name).string(); }
    fs::path folder;
};

}  // namespace

TEST_F(ZfkAcquire, FramesFromTheSimulatorAreWrittenWholeAndShowItsPattern) {
    // A frame's picture is the simulator's image for some frame id: the pattern repeats every 255
    // ids, so exactly one of 255 candidates must match each picture.
    for (const char* format : {"Mono8", "RGB8"}) {
        SCOPED_TRACE(format);
        const Result result = zfk(std::string("acquire --fake --format ") + format + " --size 61x37 --rate 200 --count 6 --out-dir " +
                                  at(format) + " --to png");
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_NE(result.output.find("Aravis Fake (ZFK01): " + std::string(format) + " 61x37 at 0,0"), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("6 frames in"), std::string::npos) << result.output;
        for (const char* figure : {"received ", "dropped ", "incomplete ", "latency from arrival to written: mean ", "limiter: peak "})
            EXPECT_NE(result.output.find(figure), std::string::npos) << figure << "\n" << result.output;
        for (int n = 1; n <= 6; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06d.png", n);
            int width = 0, height = 0, channels = 0;
            unsigned char* pixels = stbi_load((folder / format / name).string().c_str(), &width, &height, &channels, 3);
            ASSERT_NE(pixels, nullptr) << name;
            ASSERT_EQ(width * 1000 + height, 61037);
            int matches = 0;
            for (int id = 0; id < 255; ++id) {
                std::vector<uint8_t> expected = simulator::image(format, width, height, uint64_t(id)), grey;
                if (std::string(format) == "Mono8")
                    for (uint8_t v : expected) grey.insert(grey.end(), 3, v);
                const std::vector<uint8_t>& rgb = grey.empty() ? expected : grey;
                matches += std::memcmp(pixels, rgb.data(), rgb.size()) == 0;
            }
            EXPECT_EQ(matches, 1) << name;
            stbi_image_free(pixels);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / format), fs::directory_iterator()), 6);
    }
    for (const char* to : {"bmp", "npy"}) {
        ASSERT_EQ(zfk(std::string("acquire --fake --format Mono16 --size 16x8 --count 2 --out-dir ") + at(to) + " --to " + to).status, 0);
        const std::string bytes = readText(folder / to / (std::string("frame-000002.") + to));
        EXPECT_EQ(bytes.substr(0, 2), std::string(to) == "bmp" ? "BM" : "\x93N");
    }
    const Result timed = zfk("acquire --fake --size 32x32 --rate 100 --seconds 1");
    EXPECT_EQ(timed.status, 0) << timed.errors;
    EXPECT_NE(timed.output.find("latency from arrival to taken"), std::string::npos) << timed.output;
}

TEST_F(ZfkAcquire, MistakesAreNamedAndLeaveNoFile) {
    const std::string out = " --out-dir " + at("out");
    const struct {
        std::string arguments, mentions;
    } cases[] = {
        {"acquire --fake --camera 127.0.0.1" + out, "--camera goes without --fake"},
        {"acquire --fake --count 3 --seconds 1" + out, "not both"},
        {"acquire --fake --to png", "--to goes with --out-dir"},
        {"acquire --fake --offset 3,4" + out, "--offset goes with --size"},
        {"acquire --fake --rate 0" + out, "bad --rate"},
        {"acquire --fake --size 8x8 --offset 3" + out, "bad --offset '3'"},
        {"acquire --fake --count 2 --count 3" + out, "given twice"},
        {"acquire --fake --format Mono12Packed" + out, "'Mono12Packed' has no frame type of the same layout"},
        {"acquire --fake --exposure 20000000" + out, "an exposure of 2e+07 us is outside the 10 to 1e+07 us"},
        {"acquire --fake --out-dir " + at("file.txt/below"), "cannot make the output folder"},
    };
    std::ofstream(at("file.txt")) << "a file, not a folder";
    for (const auto& c : cases) {
        const Result result = zfk(c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_NE(result.errors.find(c.mentions), std::string::npos) << c.arguments << "\n" << result.errors;
        EXPECT_TRUE(!fs::exists(folder / "out") || fs::is_empty(folder / "out")) << c.arguments;
    }
    for (const char* command : {"cameras", "acquire"}) {
        const Result help = zfk(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.output.find("--fake"), std::string::npos) << help.output;
    }
}

TEST_F(ZfkAcquire, CamerasListsTheSimulator) {
    if (!isolated) GTEST_SKIP() << "discovery asks every network: it runs only in a network namespace of its own";
    const Result result = zfk("cameras --fake");
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.output.find("ID"), std::string::npos);
    EXPECT_NE(result.output.find("Aravis-Fake-ZFK01  Aravis  Fake   ZFK01   127.0.0.1  GigEVision"), std::string::npos) << result.output;
    EXPECT_EQ(zfk("cameras").output, "no cameras found\n");
}

int main(int argc, char** argv) {
    isolated = enterLoopbackNamespace();  // before any thread starts: the namespace is the thread's
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// zfk convert's command line and its input file: any arguments, and any bytes as the raw image.
// The input is the arguments, one a line, up to the first NUL byte; what follows is written to
// in.raw (and a folder out/ is there for --out-dir). Every run happens in a folder of the target's own, emptied after each run; an argument
// that could name a place outside it is replaced. A run must end with status 0 or 2 and leave no
// half-written file behind.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "fuzz_input.h"

namespace fs = std::filesystem;

namespace {

fs::path workFolder;
std::FILE* nowhere = nullptr;

std::vector<std::string> argumentsOf(const std::string& text) {
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start <= text.size() && arguments.size() < 24) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string argument = text.substr(start, end - start);
        if (argument.find_first_of("/\\:") != std::string::npos || argument.find("..") != std::string::npos)
            argument = "elsewhere";
        arguments.push_back(argument);
        start = end + 1;
    }
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/zfk_fuzz_XXXXXX";
    const char* made = mkdtemp(pattern);
    FUZZ_REQUIRE(made != nullptr);
    workFolder = made;
    nowhere = std::fopen("/dev/null", "w");
    FUZZ_REQUIRE(nowhere != nullptr);
    std::atexit([] { fs::remove_all(workFolder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t split = 0;
    while (split < size && data[split] != 0) ++split;
    const std::vector<std::string> arguments =
        argumentsOf(std::string(reinterpret_cast<const char*>(data), split));
    // In the folder only while the command runs: libFuzzer reads and writes its corpora by the
    // paths it was given.
    const fs::path home = fs::current_path();
    fs::current_path(workFolder);
    fs::create_directory("out");  // for --out-dir
    {
        std::ofstream raw("in.raw", std::ios::binary);
        if (split < size)
            raw.write(reinterpret_cast<const char*>(data + split + 1), static_cast<std::streamsize>(size - split - 1));
    }
    std::vector<const char*> argv = {"zfk", "convert"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    const int status = zfk::runCommandLine(static_cast<int>(argv.size()), argv.data(), zfk::Console{nowhere, nowhere});
    FUZZ_REQUIRE(status == 0 || status == zfk::kUsageError);

    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(workFolder))
        FUZZ_REQUIRE(entry.path().filename().string().find(".part") == std::string::npos);
    for (const fs::directory_entry& entry : fs::directory_iterator(workFolder)) fs::remove_all(entry.path());
    fs::current_path(home);
    return 0;
}

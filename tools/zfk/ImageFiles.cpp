#include "ImageFiles.h"

// stb's PNG writer, compiled here and kept to this file; it writes through a callback, never a file.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "ha.h"

namespace zfk {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

std::vector<uint8_t> bmpFileBytes(const Bitmap& bitmap) {
    const BITMAPINFOHEADER& h = bitmap.header;
    const uint32_t paletteBytes = h.biBitCount == 8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    std::vector<uint8_t> out;
    out.reserve(offset + bitmap.pixels.size());
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + static_cast<uint32_t>(bitmap.pixels.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, h.biSize);
    put32(out, static_cast<uint32_t>(h.biWidth));
    put32(out, static_cast<uint32_t>(h.biHeight));
    put16(out, h.biPlanes);
    put16(out, h.biBitCount);
    put32(out, h.biCompression);
    put32(out, h.biSizeImage);
    put32(out, static_cast<uint32_t>(h.biXPelsPerMeter));
    put32(out, static_cast<uint32_t>(h.biYPelsPerMeter));
    put32(out, h.biBitCount == 8 ? 256 : h.biClrUsed);
    put32(out, h.biClrImportant);
    for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
        out.push_back(uint8_t(i));
        out.push_back(uint8_t(i));
        out.push_back(uint8_t(i));
        out.push_back(0);
    }
    out.insert(out.end(), bitmap.pixels.begin(), bitmap.pixels.end());
    return out;
}

RGBImage decodeBitmap(const Bitmap& bitmap) {
    const int width = bitmap.header.biWidth, height = bitmap.header.biHeight, bpp = bitmap.header.biBitCount;
    const size_t stride = ((size_t(width) * bpp / 8) + 3) & ~size_t(3);
    RGBImage image(width, height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.pixels.data() + stride * size_t(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint8_t* out = image.at(x, y);
            if (bpp == 8) {
                out[0] = out[1] = out[2] = row[x];
            } else if (bpp == 16) {
                const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
                out[0] = uint8_t(((word >> 10) & 31) << 3);
                out[1] = uint8_t(((word >> 5) & 31) << 3);
                out[2] = uint8_t((word & 31) << 3);
            } else {
                const uint8_t* p = row + size_t(bpp / 8) * x;
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
            }
        }
    }
    return image;
}

Bitmap bitmapOf(const RGBImage& image) {
    Bitmap bitmap;
    BITMAPINFOHEADER& h = bitmap.header;
    h.biSize = 40;
    h.biWidth = image.width;
    h.biHeight = image.height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    const size_t stride = (size_t(image.width) * 3 + 3) & ~size_t(3);
    bitmap.pixels.assign(stride * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = bitmap.pixels.data() + stride * size_t(image.height - 1 - y);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
    return bitmap;
}

bool pngFits(int width, int height) {
    // The filtered rows (a filter byte and 3 bytes a pixel), with room for compression to grow them.
    return width > 0 && height > 0 && (3 * uint64_t(width) + 1) * uint64_t(height) <= uint64_t(INT32_MAX) / 2;
}

std::vector<uint8_t> pngFileBytes(const RGBImage& image) {
    if (!pngFits(image.width, image.height)) throw std::bad_alloc();
    std::vector<uint8_t> bytes;
    const auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    };
    if (!stbi_write_png_to_func(append, &bytes, image.width, image.height, 3, image.pixels.data(), image.width * 3))
        throw std::bad_alloc();  // its only failure: a block it could not allocate
    return bytes;
}

std::vector<uint8_t> npyFileBytes(HostArray array) {
    const int elementSize = haGetElementSize(array);
    const char* descr = elementSize == 1 ? "|u1" : elementSize == 2 ? "<u2" : elementSize == 4 ? "<u4" : "<f8";
    std::string shape = "(";
    const int* dims = haGetDimensions(array);
    for (int i = 0; i < haGetNumberOfDimensions(array); ++i) shape += std::to_string(dims[i]) + ", ";
    if (haGetNumberOfDimensions(array) > 1) shape.erase(shape.size() - 2);
    shape += ")";
    std::string header = std::string("{'descr': '") + descr + "', 'fortran_order': True, 'shape': " + shape + ", }";
    // Magic, version 1.0, header length; the header is padded with spaces and ends in a newline so
    // that the data starts on a multiple of 64 bytes.
    const size_t unpadded = 10 + header.size() + 1;
    header.append((64 - unpadded % 64) % 64, ' ');
    header += '\n';
    std::vector<uint8_t> out = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0};
    put16(out, static_cast<uint32_t>(header.size()));
    out.insert(out.end(), header.begin(), header.end());
    const uint8_t* data = static_cast<const uint8_t*>(haGetData(array));
    out.insert(out.end(), data, data + haGetNumberOfElements(array) * size_t(elementSize));
    return out;
}

namespace {

namespace fs = std::filesystem;

// The few file operations writeFileWhole needs, on a descriptor, in each system's own calls.
#if defined(_WIN32)
int createExclusively(const fs::path& path) {
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
// _write takes an unsigned count: at most 1 GiB a call.
long writeSome(int fd, const uint8_t* data, size_t count) {
    return _write(fd, data, static_cast<unsigned>(count < (size_t(1) << 30) ? count : size_t(1) << 30));
}
int flushToDisk(int fd) { return _commit(fd); }  // FlushFileBuffers on the file's handle
int closeFile(int fd) { return _close(fd); }
int processID() { return _getpid(); }
void flushFolder(const fs::path&) {}  // Windows cannot flush a folder (NTFS journals the rename)
#else
int createExclusively(const fs::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // as the umask allows
}
long writeSome(int fd, const uint8_t* data, size_t count) {
    return static_cast<long>(::write(fd, data, count < (size_t(1) << 30) ? count : size_t(1) << 30));
}
int flushToDisk(int fd) { return ::fsync(fd); }
int closeFile(int fd) { return ::close(fd); }
int processID() { return static_cast<int>(::getpid()); }
// The folder's entry for the renamed file, on disk too; where the folder cannot be opened (or the
// file system cannot flush one), the file itself already is.
void flushFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
#endif

std::string systemError(int error) { return std::generic_category().message(error); }

// A name beside `target` that no file has yet, created (empty) in the same step so that no one else
// can take it: target's name followed by a random suffix and ".part". Another zfk writing the same
// output has its own; a file of the user's (OUT.part, or any other) is never opened.
int createTemporaryBeside(const fs::path& target, fs::path& temporary, int& error) {
    static std::mt19937_64 random = [] {
        unsigned entropy[2] = {0, 0};
        try {
            std::random_device device;
            entropy[0] = device();
            entropy[1] = device();
        } catch (const std::exception&) {
            // No source of entropy: the process and the clock still tell two runs apart.
        }
        std::seed_seq seed{entropy[0], entropy[1], static_cast<unsigned>(processID()),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        temporary = target;
        temporary += suffix;
        const int fd = createExclusively(temporary);
        if (fd >= 0) return fd;
        error = errno;
        if (error != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

bool writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const fs::path target(path);
    fs::path temporary;
    int failure = 0;
    const int fd = createTemporaryBeside(target, temporary, failure);
    if (fd < 0) {
        error = "cannot write " + path + ": " + systemError(failure);
        return false;
    }
    // Every byte written and on disk before the rename, so that a crash leaves the old file or the
    // whole new one under the name, never a short one.
    const char* step = nullptr;  // the step that failed
    const auto failed = [&](const char* what, int code) {
        step = what;
        failure = code;
    };
    for (size_t done = 0; done < bytes.size() && step == nullptr;) {
        const long written = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (written > 0)
            done += static_cast<size_t>(written);
        else if (written == 0 || errno != EINTR)
            failed("writing", written < 0 ? errno : ENOSPC);
    }
    if (step == nullptr && flushToDisk(fd) != 0) failed("flushing", errno);
    if (closeFile(fd) != 0 && step == nullptr) failed("closing", errno);
    std::error_code renamed;
    if (step == nullptr) {
        fs::rename(temporary, target, renamed);  // over an older file: replaced whole, at once
        if (!renamed) {
            flushFolder(target.parent_path());
            return true;
        }
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    error = "cannot write " + path + ": " + (step != nullptr ? std::string(step) + ", " + systemError(failure)
                                                          : renamed.message());
    return false;
}

bool readFile(const std::string& path, int64_t expectedSize, const std::string& expected, std::vector<uint8_t>& bytes,
              std::string& error) {
    // Asked first, so that a folder or a device is named as such and a huge file of the wrong size
    // is never read.
    std::error_code failure;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, failure)) {
        error = failure || !std::filesystem::exists(file) ? "cannot read " + path : path + " is not a regular file";
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(file, failure);
    if (failure) {
        error = "cannot read " + path + ": " + failure.message();
        return false;
    }
    if (size != static_cast<uintmax_t>(expectedSize)) {
        error = path + " holds " + std::to_string(size) + " bytes, but " + expected + " is " +
                std::to_string(expectedSize) + " bytes";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    bytes.resize(static_cast<size_t>(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

namespace {

// 5 x 7 glyphs, one byte a row, the leftmost pixel in bit 4.
struct Glyph {
    char ch;
    uint8_t rows[7];
};

const Glyph font[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}}, {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}}, {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
};

const Glyph* glyphOf(char ch) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    for (const Glyph& glyph : font)
        if (glyph.ch == ch) return &glyph;
    return nullptr;  // a space, or a character the font lacks
}

}  // namespace

void drawText(RGBImage& image, int x, int y, const std::string& text, const uint8_t* rgb, int scale) {
    for (char ch : text) {
        if (const Glyph* glyph = glyphOf(ch)) {
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (!(glyph->rows[row] & (0x10 >> col))) continue;
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx) {
                            const int px = x + col * scale + sx, py = y + row * scale + sy;
                            if (px >= 0 && py >= 0 && px < image.width && py < image.height)
                                std::memcpy(image.at(px, py), rgb, 3);
                        }
                }
        }
        x += 6 * scale;
    }
}

}  // namespace zfk

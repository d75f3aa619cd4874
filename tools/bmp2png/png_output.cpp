#include "tools/bmp2png/png_output.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// A name beside the target, hidden and unique to this process, so that a
// crash leaves no file under the final name and rename stays on one file system.
std::string temporary_name_for(const std::string& path) {
    const std::filesystem::path target(path);
    std::filesystem::path name = target.parent_path();
    name /= "." + target.filename().string() + "." + std::to_string(getpid()) + ".tmp";
    return name.string();
}

// The simplified libpng interface reports errors through the image record
// instead of longjmp, which keeps C++ objects out of harm's way.
bool write_png_stream(std::FILE* stream, const ArgbPixel* pixels, uint32_t width, uint32_t height,
                      std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;

    // An ArgbPixel held little-endian is the bytes B, G, R, A: libpng's BGRA
    // layout, so the decoded buffer goes out as it is. Elsewhere reorder it.
    const void* buffer = pixels;
    std::vector<uint8_t> reordered;
    if constexpr (std::endian::native == std::endian::little) {
        image.format = PNG_FORMAT_BGRA;
    } else {
        image.format = PNG_FORMAT_RGBA;
        const size_t count = static_cast<size_t>(width) * height;
        reordered.resize(count * 4);
        for (size_t i = 0; i < count; ++i) {
            reordered[i * 4 + 0] = static_cast<uint8_t>(pixels[i] >> 16);
            reordered[i * 4 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
            reordered[i * 4 + 2] = static_cast<uint8_t>(pixels[i]);
            reordered[i * 4 + 3] = static_cast<uint8_t>(pixels[i] >> 24);
        }
        buffer = reordered.data();
    }
    if (png_image_write_to_stdio(&image, stream, 0, buffer, 0, nullptr) == 0) {
        error = std::string("libpng: ") + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace

bool write_png_file(const std::string& path, const ArgbPixel* pixels, uint32_t width, uint32_t height,
                    std::string& error) {
    if (pixels == nullptr || width == 0 || height == 0) {
        error = "no picture to write";
        return false;
    }
    const std::string temporary = temporary_name_for(path);
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::FILE* stream = fdopen(descriptor, "wb");
    if (stream == nullptr) {
        error = std::strerror(errno);
        close(descriptor);
        unlink(temporary.c_str());
        return false;
    }
    bool written = write_png_stream(stream, pixels, width, height, error);
    if (written && std::fflush(stream) != 0) {
        error = std::strerror(errno);
        written = false;
    }
    if (std::fclose(stream) != 0 && written) {
        error = std::strerror(errno);
        written = false;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        written = false;
    }
    if (!written) unlink(temporary.c_str());
    return written;
}

#include "codec/pictures/PngFile.hpp"

#include "codec/platform/LogManager.hpp"

#include <png.h>

namespace vexaqr {

namespace {

// The simplified libpng API keeps its state in a png_image that must be freed on every path.
class PngImage {
public:
    PngImage() {
        _image.version = PNG_IMAGE_VERSION;
        _image.opaque = nullptr;
    }
    ~PngImage() { png_image_free(&_image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    png_image& get() { return _image; }

private:
    png_image _image{};
};

// Reads the picture whose header `image` has just taken in; `source` names it in the log.
std::optional<Picture> finishRead(PngImage& image, const std::string& source) {
    const auto width = static_cast<int>(image.get().width);
    const auto height = static_cast<int>(image.get().height);
    const std::uint64_t pixels = std::uint64_t{image.get().width} * image.get().height;
    if (image.get().width > PngFile::kMaxSide || image.get().height > PngFile::kMaxSide || pixels == 0 ||
        pixels > PngFile::kMaxPixels) {
        LogManager::standard().log("PNG " + source + ": a picture of " + std::to_string(image.get().width) + " x " +
                                   std::to_string(image.get().height) + " pixels is beyond the size limits");
        return std::nullopt;
    }
    image.get().format = PNG_FORMAT_GRAY;
    Picture picture(width, height);
    if (!png_image_finish_read(&image.get(), nullptr, picture.pixels.data(), width, nullptr)) {
        LogManager::standard().log("PNG " + source + ": " + image.get().message);
        return std::nullopt;
    }
    return picture;
}

} // namespace

std::optional<Picture> PngFile::read(const std::string& path) {
    PngImage image;
    if (!png_image_begin_read_from_file(&image.get(), path.c_str())) {
        LogManager::standard().log("PNG " + path + ": " + image.get().message);
        return std::nullopt;
    }
    return finishRead(image, path);
}

std::optional<Picture> PngFile::decode(const Bytes& png) {
    PngImage image;
    if (!png_image_begin_read_from_memory(&image.get(), png.data(), png.size())) {
        LogManager::standard().log(std::string("PNG data: ") + image.get().message);
        return std::nullopt;
    }
    return finishRead(image, "data");
}

bool PngFile::write(const std::string& path, const Picture& picture) {
    PngImage image;
    image.get().width = static_cast<png_uint_32>(picture.width);
    image.get().height = static_cast<png_uint_32>(picture.height);
    image.get().format = PNG_FORMAT_GRAY;
    if (!png_image_write_to_file(&image.get(), path.c_str(), 0, picture.pixels.data(), picture.width, nullptr)) {
        LogManager::standard().log("PNG " + path + ": " + image.get().message);
        return false;
    }
    return true;
}

} // namespace vexaqr

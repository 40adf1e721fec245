#include "codec/pictures/GifCanvas.hpp"

#include "codec/platform/LogManager.hpp"

#include "codec/platform/CHandle.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace vexaqr {

namespace {

using ColorMapPtr = CHandle<ColorMapObject, GifFreeMapObject>;

constexpr int kBlackIndex = 0;
constexpr int kWhiteIndex = 1;
constexpr int kMaxCentiseconds = 65535;

bool putScreen(GifFileType* gif, int side) {
    GifColorType colors[2] = {{0, 0, 0}, {255, 255, 255}};
    ColorMapPtr map(GifMakeMapObject(2, colors));
    EGifSetGifVersion(gif, true);
    return map && EGifPutScreenDesc(gif, side, side, 1, kWhiteIndex, map.get()) == GIF_OK;
}

// The application extension that makes viewers loop the animation forever.
bool putEndlessLoop(GifFileType* gif) {
    static const unsigned char kName[] = "NETSCAPE2.0";
    unsigned char loopForever[3] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, 11, kName) == GIF_OK && EGifPutExtensionBlock(gif, 3, loopForever) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putDelay(GifFileType* gif, std::chrono::milliseconds shownFor) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    const auto milliseconds = shownFor.count(); // rounded to hundredths without overflowing near the maximum
    const auto centiseconds = milliseconds / 10 + (milliseconds % 10 >= 5 ? 1 : 0);
    control.DelayTime = static_cast<int>(std::clamp<std::int64_t>(centiseconds, 0, kMaxCentiseconds));
    GifByteType extension[4];
    const auto length = EGifGCBToExtension(&control, extension);
    return EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK;
}

bool putPixels(GifFileType* gif, const Picture& picture) {
    if (EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) != GIF_OK) {
        return false;
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(picture.width));
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            line[static_cast<std::size_t>(x)] = picture.at(x, y) < 128 ? kBlackIndex : kWhiteIndex;
        }
        if (EGifPutLine(gif, line.data(), picture.width) != GIF_OK) {
            return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<GifCanvas> GifCanvas::create(const std::string& path, int side) {
    // Opened here rather than by giflib, which would make the file private (0600); an animation is for showing.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        LogManager::standard().log("GIF " + path + ": " + std::strerror(errno));
        return nullptr;
    }
    int error = 0;
    GifFileType* gif = EGifOpenFileHandle(fd, &error);
    if (!gif) {
        ::close(fd);
        LogManager::standard().log("GIF " + path + ": " + GifErrorString(error));
        return nullptr;
    }
    std::unique_ptr<GifCanvas> canvas(new GifCanvas(gif, side));
    if (!putScreen(gif, side) || !putEndlessLoop(gif)) {
        LogManager::standard().log("GIF " + path + ": cannot write the header");
        return nullptr;
    }
    return canvas;
}

GifCanvas::GifCanvas(GifFileType* gif, int side) : _gif(gif), _side(side) {}

GifCanvas::~GifCanvas() {
    finish();
}

bool GifCanvas::draw(const Picture& picture, std::chrono::milliseconds shownFor) {
    if (!_gif || picture.width != _side || picture.height != _side) {
        return false;
    }
    if (!putDelay(_gif, shownFor) || !putPixels(_gif, picture)) {
        _failed = true;
        return false;
    }
    return true;
}

bool GifCanvas::finish() {
    if (!_gif) {
        return !_failed;
    }
    int error = 0;
    if (EGifCloseFile(_gif, &error) != GIF_OK) {
        LogManager::standard().log(std::string("GIF: ") + GifErrorString(error));
        _failed = true;
    }
    _gif = nullptr;
    return !_failed;
}

} // namespace vexaqr

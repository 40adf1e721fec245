#include <vexaqr/views/GifFile.hpp>

#include <vexaqr/platform/LogManager.hpp>

#include "platform/CHandle.hpp"

#include <gif_lib.h>

#include <algorithm>

namespace vexaqr {

namespace {

void closeGifReader(GifFileType* gif) {
    DGifCloseFile(gif, nullptr);
}
using GifReaderPtr = CHandle<GifFileType, closeGifReader>;

// Composed screens are kept for every frame; this bounds the memory a hostile file can ask for.
constexpr std::size_t kMaxComposedPixels = std::size_t{512} << 20;

std::uint8_t luminance(const GifColorType& color) {
    return static_cast<std::uint8_t>((299 * color.Red + 587 * color.Green + 114 * color.Blue) / 1000);
}

std::uint8_t backgroundLuminance(const GifFileType& gif) {
    const ColorMapObject* map = gif.SColorMap;
    if (map && gif.SBackGroundColor >= 0 && gif.SBackGroundColor < map->ColorCount) {
        return luminance(map->Colors[gif.SBackGroundColor]);
    }
    return 255;
}

GraphicsControlBlock controlBlock(GifFileType* gif, int index) {
    GraphicsControlBlock block{};
    block.DisposalMode = DISPOSAL_UNSPECIFIED;
    block.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, index, &block); // leaves the defaults when the frame has none
    return block;
}

// The frame's rectangle clipped to the screen.
struct Area {
    int left, top, right, bottom;
};

Area clippedArea(const GifImageDesc& desc, const Picture& screen) {
    return Area{std::clamp(desc.Left, 0, screen.width), std::clamp(desc.Top, 0, screen.height),
                std::clamp(desc.Left + desc.Width, 0, screen.width),
                std::clamp(desc.Top + desc.Height, 0, screen.height)};
}

void drawFrame(const SavedImage& frame, const ColorMapObject& map, int transparent, Picture& screen) {
    const GifImageDesc& desc = frame.ImageDesc;
    const Area area = clippedArea(desc, screen);
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const int index = frame.RasterBits[static_cast<std::size_t>(y - desc.Top) * desc.Width + (x - desc.Left)];
            if (index != transparent && index < map.ColorCount) {
                screen.at(x, y) = luminance(map.Colors[index]);
            }
        }
    }
}

void fillArea(const Area& area, std::uint8_t value, Picture& screen) {
    for (int y = area.top; y < area.bottom; ++y) {
        std::fill_n(&screen.at(area.left, y), area.right - area.left, value);
    }
}

bool withinLimits(const GifFileType& gif) {
    if (gif.SWidth <= 0 || gif.SHeight <= 0 || gif.SWidth > GifFile::kMaxSide || gif.SHeight > GifFile::kMaxSide) {
        return false;
    }
    const auto frames = static_cast<std::size_t>(gif.ImageCount);
    return frames <= GifFile::kMaxFrames &&
           frames * static_cast<std::size_t>(gif.SWidth) * static_cast<std::size_t>(gif.SHeight) <= kMaxComposedPixels;
}

// Every frame of an opened GIF, composed onto the screen; `source` names the GIF in the log.
std::optional<std::vector<GifFrame>> composeFrames(GifFileType* gif, const std::string& source) {
    if (gif->SWidth <= 0 || gif->SHeight <= 0 || gif->SWidth > GifFile::kMaxSide || gif->SHeight > GifFile::kMaxSide ||
        DGifSlurp(gif) != GIF_OK || !withinLimits(*gif)) {
        LogManager::standard().log("GIF " + source + ": unreadable or beyond the size limits");
        return std::nullopt;
    }
    const std::uint8_t background = backgroundLuminance(*gif);
    Picture screen(gif->SWidth, gif->SHeight, background);
    std::vector<GifFrame> frames;
    frames.reserve(static_cast<std::size_t>(gif->ImageCount));
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& frame = gif->SavedImages[i];
        const GraphicsControlBlock control = controlBlock(gif, i);
        const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        const Picture before = control.DisposalMode == DISPOSE_PREVIOUS ? screen : Picture();
        if (map && frame.RasterBits) {
            drawFrame(frame, *map, control.TransparentColor, screen);
        }
        frames.push_back(GifFrame{screen, std::chrono::milliseconds(control.DelayTime * 10)});
        if (control.DisposalMode == DISPOSE_BACKGROUND) {
            fillArea(clippedArea(frame.ImageDesc, screen), background, screen);
        } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
            screen = before;
        }
    }
    return frames;
}

struct MemoryReader {
    const Bytes& data;
    std::size_t offset = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int wanted) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    const auto count = std::min(static_cast<std::size_t>(std::max(wanted, 0)), reader->data.size() - reader->offset);
    std::copy_n(reader->data.data() + reader->offset, count, buffer);
    reader->offset += count;
    return static_cast<int>(count);
}

} // namespace

std::optional<std::vector<GifFrame>> GifFile::readFrames(const std::string& path) {
    int error = 0;
    GifReaderPtr gif(DGifOpenFileName(path.c_str(), &error));
    if (!gif) {
        LogManager::standard().log("GIF " + path + ": " + GifErrorString(error));
        return std::nullopt;
    }
    return composeFrames(gif.get(), path);
}

std::optional<std::vector<GifFrame>> GifFile::decodeFrames(const Bytes& data) {
    MemoryReader reader{data};
    int error = 0;
    GifReaderPtr gif(DGifOpen(&reader, readFromMemory, &error));
    if (!gif) {
        LogManager::standard().log(std::string("GIF data: ") + GifErrorString(error));
        return std::nullopt;
    }
    return composeFrames(gif.get(), "data");
}

} // namespace vexaqr

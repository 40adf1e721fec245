#include <vexaqr/views/GifFrameReader.hpp>

#include <vexaqr/platform/LogManager.hpp>

#include "platform/CHandle.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <vector>

namespace vexaqr {

namespace {

void closeGifReader(GifFileType* gif) {
    DGifCloseFile(gif, nullptr);
}
using GifReaderPtr = CHandle<GifFileType, closeGifReader>;

std::string errorText(int code) {
    const char* text = GifErrorString(code); // null for a code giflib does not know
    return text ? text : "error " + std::to_string(code);
}

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

GraphicsControlBlock noControl() {
    GraphicsControlBlock block{};
    block.DisposalMode = DISPOSAL_UNSPECIFIED;
    block.TransparentColor = NO_TRANSPARENT_COLOR;
    return block;
}

bool sideWithinLimits(int side) {
    return side > 0 && side <= GifFrameReader::kMaxSide;
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

void fillArea(const Area& area, std::uint8_t value, Picture& screen) {
    for (int y = area.top; y < area.bottom; ++y) {
        std::fill_n(&screen.at(area.left, y), area.right - area.left, value);
    }
}

// The frame rows in the order the file stores them: an interlaced frame comes in four passes.
std::vector<int> rowsInFileOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
    constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [first, step] : kPasses) {
        for (int y = first; y < height; y += step) {
            rows.push_back(y);
        }
    }
    return rows;
}

} // namespace

// The open file, the screen composed so far and the control block that applies to the next frame.
struct GifFrameReader::Decoder {
    Bytes data;             // the GIF when read from memory; outlives `gif`
    std::size_t offset = 0; // how much of `data` the decoder has taken
    GifReaderPtr gif;
    Picture screen;
    std::uint8_t background = 255;
    GraphicsControlBlock control = noControl();
    std::vector<GifPixelType> line;

    static int readFromMemory(GifFileType* gif, GifByteType* buffer, int wanted) {
        auto* self = static_cast<Decoder*>(gif->UserData);
        const auto count = std::min(static_cast<std::size_t>(std::max(wanted, 0)), self->data.size() - self->offset);
        std::copy_n(self->data.data() + self->offset, count, buffer);
        self->offset += count;
        return static_cast<int>(count);
    }

    std::string lastError() const { return errorText(gif->Error); }

    // Takes in one extension; only a graphics control block matters, for the frame that follows it.
    bool readExtension() {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            DGifExtensionToGCB(block[0], block + 1, &control); // a block of the wrong size is ignored
        }
        while (block) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                return false;
            }
        }
        return true;
    }

    // Passes over the compressed pixels of the current frame without decoding them.
    bool skipPixels() {
        int codeSize = 0;
        GifByteType* block = nullptr;
        if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) {
            return false;
        }
        while (block) {
            if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) {
                return false;
            }
        }
        control = noControl();
        return true;
    }

    void drawRow(const GifImageDesc& desc, int row, const ColorMapObject& map) {
        const int y = desc.Top + row;
        if (y < 0 || y >= screen.height) {
            return;
        }
        const Area area = clippedArea(desc, screen);
        for (int x = area.left; x < area.right; ++x) {
            const int index = line[static_cast<std::size_t>(x - desc.Left)];
            if (index != control.TransparentColor && index < map.ColorCount) {
                screen.at(x, y) = luminance(map.Colors[index]);
            }
        }
    }

    // Decodes the current frame line by line onto the screen; the screen as shown, or nothing.
    std::optional<GifFrame> composeFrame() {
        const GifImageDesc& desc = gif->Image;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        const Picture before = control.DisposalMode == DISPOSE_PREVIOUS ? screen : Picture();
        line.resize(static_cast<std::size_t>(desc.Width));
        for (const int row : rowsInFileOrder(desc.Height, desc.Interlace)) {
            if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) {
                return std::nullopt;
            }
            if (map) {
                drawRow(desc, row, *map);
            }
        }
        GifFrame frame{screen, std::chrono::milliseconds(control.DelayTime * 10)};
        if (control.DisposalMode == DISPOSE_BACKGROUND) {
            fillArea(clippedArea(desc, screen), background, screen);
        } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
            screen = before;
        }
        control = noControl();
        return frame;
    }
};

std::unique_ptr<GifFrameReader> GifFrameReader::open(const std::string& path) {
    auto decoder = std::make_unique<Decoder>();
    int error = 0;
    decoder->gif.reset(DGifOpenFileName(path.c_str(), &error));
    if (!decoder->gif) {
        LogManager::standard().log("GIF " + path + ": " + errorText(error));
        return nullptr;
    }
    return opened(std::move(decoder), path);
}

std::unique_ptr<GifFrameReader> GifFrameReader::open(Bytes gif) {
    auto decoder = std::make_unique<Decoder>();
    decoder->data = std::move(gif);
    int error = 0;
    decoder->gif.reset(DGifOpen(decoder.get(), &Decoder::readFromMemory, &error));
    if (!decoder->gif) {
        LogManager::standard().log(std::string("GIF data: ") + errorText(error));
        return nullptr;
    }
    return opened(std::move(decoder), "data");
}

std::unique_ptr<GifFrameReader> GifFrameReader::opened(std::unique_ptr<Decoder> decoder, std::string source) {
    const GifFileType& gif = *decoder->gif;
    if (!sideWithinLimits(gif.SWidth) || !sideWithinLimits(gif.SHeight)) {
        LogManager::standard().log("GIF " + source + ": a screen of " + std::to_string(gif.SWidth) + " x " +
                                   std::to_string(gif.SHeight) + " pixels is beyond the size limits");
        return nullptr;
    }
    decoder->background = backgroundLuminance(gif);
    decoder->screen = Picture(gif.SWidth, gif.SHeight, decoder->background);
    return std::unique_ptr<GifFrameReader>(new GifFrameReader(std::move(decoder), std::move(source)));
}

GifFrameReader::GifFrameReader(std::unique_ptr<Decoder> decoder, std::string source)
    : _decoder(std::move(decoder)), _source(std::move(source)) {}

GifFrameReader::~GifFrameReader() = default;

std::optional<std::size_t> GifFrameReader::countFrames(const std::string& path) {
    auto reader = open(path);
    if (!reader) {
        return std::nullopt;
    }
    std::size_t count = 0;
    while (reader->advanceToFrame() && reader->skipFrame()) {
        ++count;
    }
    return reader->failed() ? std::nullopt : std::optional<std::size_t>(count);
}

std::optional<GifFrame> GifFrameReader::next() {
    if (!advanceToFrame()) {
        return std::nullopt;
    }
    auto frame = _decoder->composeFrame();
    if (!frame) {
        fail(_decoder->lastError());
    }
    return frame;
}

// Reads records up to the next frame's descriptor and checks its declared size; false at the end of
// the file or on a failure.
bool GifFrameReader::advanceToFrame() {
    while (_state == State::reading) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(_decoder->gif.get(), &type) == GIF_ERROR) {
            fail(_decoder->lastError());
        } else if (type == TERMINATE_RECORD_TYPE) {
            _state = State::finished;
        } else if (type == EXTENSION_RECORD_TYPE) {
            if (!_decoder->readExtension()) {
                fail(_decoder->lastError());
            }
        } else if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(_decoder->gif.get()) == GIF_ERROR) {
            fail(_decoder->lastError());
        } else {
            const GifImageDesc& desc = _decoder->gif->Image;
            if (!sideWithinLimits(desc.Width) || !sideWithinLimits(desc.Height)) {
                fail("a frame of " + std::to_string(desc.Width) + " x " + std::to_string(desc.Height) +
                     " pixels is beyond the size limits");
            } else if (static_cast<std::size_t>(_decoder->gif->ImageCount) > kMaxFrames) {
                fail("more than " + std::to_string(kMaxFrames) + " frames");
            } else {
                return true;
            }
        }
    }
    return false;
}

bool GifFrameReader::skipFrame() {
    if (!_decoder->skipPixels()) {
        fail(_decoder->lastError());
        return false;
    }
    return true;
}

void GifFrameReader::fail(const std::string& reason) {
    _state = State::failed;
    LogManager::standard().log("GIF " + _source + ": " + reason);
}

} // namespace vexaqr

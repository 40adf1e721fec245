#include "codec/pictures/GifFrameReader.hpp"

#include "codec/platform/LogManager.hpp"

#include "codec/platform/CHandle.hpp"

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

// The pixels of `area`, row by row: what a frame disposed of as "previous" must give back.
std::vector<std::uint8_t> copyArea(const Area& area, const Picture& screen) {
    const auto width = static_cast<std::size_t>(area.right - area.left);
    std::vector<std::uint8_t> pixels;
    pixels.reserve(width * static_cast<std::size_t>(area.bottom - area.top));
    for (int y = area.top; y < area.bottom; ++y) {
        const auto row = screen.pixels.begin() + static_cast<std::ptrdiff_t>(y) * screen.width + area.left;
        pixels.insert(pixels.end(), row, row + static_cast<std::ptrdiff_t>(width));
    }
    return pixels;
}

void restoreArea(const Area& area, const std::vector<std::uint8_t>& pixels, Picture& screen) {
    auto from = pixels.begin();
    for (int y = area.top; y < area.bottom; ++y, from += area.right - area.left) {
        std::copy(from, from + (area.right - area.left), &screen.at(area.left, y));
    }
}

std::string millions(std::uint64_t pixels) {
    return std::to_string(pixels >> 20) + " million";
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
    std::string path;       // the file, when read from one
    Bytes data;             // else the GIF in memory; outlives `gif`
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

    // (Re)opens the GIF before its first record; giflib's error code in `error` when it cannot.
    bool start(int& error) {
        control = noControl();
        offset = 0;
        gif.reset(path.empty() ? DGifOpen(this, &readFromMemory, &error) : DGifOpenFileName(path.c_str(), &error));
        return gif != nullptr;
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
        const Area area = clippedArea(desc, screen);
        const auto before =
            control.DisposalMode == DISPOSE_PREVIOUS ? copyArea(area, screen) : std::vector<std::uint8_t>();
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
            fillArea(area, background, screen);
        } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
            restoreArea(area, before, screen);
        }
        control = noControl();
        return frame;
    }
};

namespace {

std::unique_ptr<GifFrameReader> refuse(const std::string& source, const std::string& reason, std::string* refusal) {
    LogManager::standard().log("GIF " + source + ": " + reason);
    if (refusal) {
        *refusal = reason;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<GifFrameReader> GifFrameReader::open(const std::string& path, std::string* refusal) {
    auto decoder = std::make_unique<Decoder>();
    decoder->path = path;
    int error = 0;
    if (!decoder->start(error)) {
        return refuse(path, errorText(error), refusal);
    }
    return opened(std::move(decoder), path, refusal);
}

std::unique_ptr<GifFrameReader> GifFrameReader::open(Bytes gif, std::string* refusal) {
    auto decoder = std::make_unique<Decoder>();
    decoder->data = std::move(gif);
    int error = 0;
    if (!decoder->start(error)) {
        return refuse("data", errorText(error), refusal);
    }
    return opened(std::move(decoder), "data", refusal);
}

std::unique_ptr<GifFrameReader> GifFrameReader::opened(std::unique_ptr<Decoder> decoder, std::string source,
                                                       std::string* refusal) {
    const GifFileType& gif = *decoder->gif;
    if (!sideWithinLimits(gif.SWidth) || !sideWithinLimits(gif.SHeight)) {
        return refuse(source,
                      "a screen of " + std::to_string(gif.SWidth) + " x " + std::to_string(gif.SHeight) +
                          " pixels is beyond the size limits",
                      refusal);
    }
    decoder->background = backgroundLuminance(gif);
    decoder->screen = Picture(gif.SWidth, gif.SHeight, decoder->background);
    std::unique_ptr<GifFrameReader> reader(new GifFrameReader(std::move(decoder), source));
    if (auto reason = reader->survey()) {
        return refuse(source, *reason, refusal);
    }
    return reader;
}

GifFrameReader::GifFrameReader(std::unique_ptr<Decoder> decoder, std::string source)
    : _decoder(std::move(decoder)), _source(std::move(source)) {}

GifFrameReader::~GifFrameReader() = default;

std::optional<std::size_t> GifFrameReader::countFrames(const std::string& path, std::string* refusal) {
    const auto reader = open(path, refusal);
    return reader ? std::optional<std::size_t>(reader->frameCount()) : std::nullopt;
}

// Reads every record without decoding a pixel and weighs what decoding and showing the frames would cost;
// the reason for refusing the file, or nothing with the decoder back before the first record.
std::optional<std::string> GifFrameReader::survey() {
    const GifFileType& gif = *_decoder->gif;
    const std::uint64_t screenArea = std::uint64_t(gif.SWidth) * std::uint64_t(gif.SHeight);
    std::uint64_t work = 0;
    std::size_t frames = 0;
    std::size_t whole = 0; // frames read to their end: a damaged file keeps these
    while (advanceToFrame()) {
        ++frames;
        // A frame is decoded in full even where it lies off the screen.
        work += std::uint64_t(gif.Image.Width) * std::uint64_t(gif.Image.Height) + screenArea;
        if (work > kMaxPixelWork) {
            return "more than " + std::to_string(frames - 1) + " frames of this size on a " +
                   std::to_string(gif.SWidth) + " x " + std::to_string(gif.SHeight) + " screen (at most " +
                   millions(kMaxPixelWork) + " pixels decoded and shown)";
        }
        if (!skipFrame()) {
            break;
        }
        ++whole;
    }
    if (failed() && (_beyondLimits || whole == 0)) {
        return _failure;
    }
    int error = 0;
    if (!_decoder->start(error)) {
        return errorText(error);
    }
    _frameCount = whole;
    _state = State::reading;
    return std::nullopt;
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
                _beyondLimits = true;
                fail("a frame of " + std::to_string(desc.Width) + " x " + std::to_string(desc.Height) +
                     " pixels is beyond the size limits");
            } else if (static_cast<std::size_t>(_decoder->gif->ImageCount) > kMaxFrames) {
                _beyondLimits = true;
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
    _failure = reason;
    LogManager::standard().log("GIF " + _source + ": " + reason);
}

} // namespace vexaqr

#include "codec/pictures/GifFile.hpp"

#include "codec/platform/LogManager.hpp"

namespace vexaqr {

namespace {

// Every frame of an opened GIF, as long as all of them together stay within kMaxComposedPixels.
std::optional<std::vector<GifFrame>> allFrames(std::unique_ptr<GifFrameReader> reader, const std::string& source) {
    if (!reader) {
        return std::nullopt;
    }
    std::vector<GifFrame> frames;
    std::size_t pixels = 0;
    while (auto frame = reader->next()) {
        pixels += frame->picture.pixels.size();
        if (pixels > GifFile::kMaxComposedPixels) {
            LogManager::standard().log("GIF " + source + ": too many frames to hold at once");
            return std::nullopt;
        }
        frames.push_back(std::move(*frame));
    }
    if (reader->failed()) {
        return std::nullopt;
    }
    return frames;
}

} // namespace

std::optional<std::vector<GifFrame>> GifFile::readFrames(const std::string& path) {
    return allFrames(GifFrameReader::open(path), path);
}

std::optional<std::vector<GifFrame>> GifFile::decodeFrames(const Bytes& gif) {
    return allFrames(GifFrameReader::open(gif), "data");
}

} // namespace vexaqr

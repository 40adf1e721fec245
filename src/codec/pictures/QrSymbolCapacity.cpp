#include "codec/pictures/QrSymbolCapacity.hpp"

#include "codec/transport/Base45Converter.hpp"

#include <array>

namespace vexaqr {

namespace {

constexpr std::size_t kBase45ChunkBytes = 81;
constexpr std::size_t kBase45ChunkCharacters = 118;

// Level L: error-correction codewords per block and number of blocks, for versions 1 to 40.
constexpr std::array<int, 40> kEccCodewordsPerBlock = {7,  10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30,
                                                       22, 24, 28, 30, 28, 28, 28, 28, 30, 30, 26, 28, 30, 30,
                                                       30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30};
constexpr std::array<int, 40> kEccBlocks = {1,  1,  1,  1,  1,  2,  2,  2,  2,  4,  4,  4,  4,  4,
                                            6,  6,  6,  6,  7,  8,  8,  9,  9,  10, 12, 12, 12, 13,
                                            14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25};

bool isVersion(int version) {
    return version >= QrSymbolCapacity::kSmallestVersion && version <= QrSymbolCapacity::kLargestVersion;
}

// Modules left for codewords once the function patterns and the format and version areas are placed.
int dataModules(int version) {
    int modules = (16 * version + 128) * version + 64;
    if (version >= 2) {
        const int alignmentPatterns = version / 7 + 2;
        modules -= (25 * alignmentPatterns - 10) * alignmentPatterns - 55;
        if (version >= 7) {
            modules -= 36; // two version-information areas
        }
    }
    return modules;
}

int dataCodewords(int version) {
    const auto at = static_cast<std::size_t>(version - 1);
    return dataModules(version) / 8 - kEccCodewordsPerBlock[at] * kEccBlocks[at];
}

int characterCountBits(int version) {
    return version <= 9 ? 9 : version <= 26 ? 11 : 13;
}

// The longest frame whose base-45 text has at most `characters` characters.
std::size_t longestFrameFor(std::size_t characters) {
    std::size_t length = characters / kBase45ChunkCharacters * kBase45ChunkBytes;
    const std::size_t rest = characters % kBase45ChunkCharacters;
    std::size_t tail = 0;
    while (tail + 1 < kBase45ChunkBytes && Base45Converter::getByteNumberFromLenfgth(tail + 1) <= rest) {
        ++tail;
    }
    return length + tail;
}

} // namespace

std::size_t QrSymbolCapacity::alphanumericCharacters(int version) {
    if (!isVersion(version)) {
        return 0;
    }
    const int bits = dataCodewords(version) * 8 - 4 - characterCountBits(version);
    const int pairs = bits / 11;
    return static_cast<std::size_t>(2 * pairs + (bits - 11 * pairs >= 6 ? 1 : 0));
}

std::optional<int> QrSymbolCapacity::smallestVersionHolding(std::size_t characters) {
    for (int version = kSmallestVersion; version <= kLargestVersion; ++version) {
        if (alphanumericCharacters(version) >= characters) {
            return version;
        }
    }
    return std::nullopt;
}

std::optional<SymbolFrameCapacity> QrSymbolCapacity::largestFrames(int version) {
    if (!isVersion(version)) {
        return std::nullopt;
    }
    SymbolFrameCapacity capacity;
    capacity.version = version;
    capacity.characters = alphanumericCharacters(version);
    capacity.frameLength = longestFrameFor(capacity.characters);
    const std::size_t packetBytes = Constant::VexaQrGenerator::ltPacketLength;
    if (capacity.frameLength >= VexaQRFrameSize::kLubyHeaderLength + packetBytes) {
        capacity.ltPacketsPerFrame =
            static_cast<std::uint32_t>((capacity.frameLength - VexaQRFrameSize::kLubyHeaderLength) / packetBytes);
    }
    if (capacity.frameLength > VexaQRFrameSize::kCyclicHeaderLength) {
        capacity.cyclicBlockLength = capacity.frameLength - VexaQRFrameSize::kCyclicHeaderLength;
    }
    return capacity;
}

std::size_t QrSymbolCapacity::base45Length(std::size_t frameLength) {
    const std::size_t rest = frameLength % kBase45ChunkBytes;
    return frameLength / kBase45ChunkBytes * kBase45ChunkCharacters +
           (rest == 0 ? 0 : Base45Converter::getByteNumberFromLenfgth(rest));
}

std::string QrSymbolCapacity::frameDoesNotFit(std::size_t frameLength, int version) {
    const auto largest = largestFrames(version);
    std::string message = "a frame of " + std::to_string(frameLength) + " bytes (" +
                          std::to_string(base45Length(frameLength)) + " characters) does not fit a version-" +
                          std::to_string(version) + " QR symbol";
    message += largest ? ", which holds " + std::to_string(largest->characters) + " characters: at most " +
                             std::to_string(largest->ltPacketsPerFrame) + " packets per luby frame or " +
                             std::to_string(largest->cyclicBlockLength) + " bytes per cyclic block"
                       : ": versions run from 1 to 40";
    return message;
}

} // namespace vexaqr

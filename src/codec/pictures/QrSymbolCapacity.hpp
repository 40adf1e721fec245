// QrSymbolCapacity: what a QR symbol of each version (1 to 40) holds at error-correction level L in the
// alphanumeric mode, and the largest frame of each transport mode whose base-45 text fits it.
//
// Computed from the symbol rules, not measured: the modules a version leaves for data once its finder,
// timing, alignment, format and version patterns are placed, less the level-L error-correction
// codewords, less the segment header (4 mode bits and a 9-, 11- or 13-bit character count); two
// characters take 11 bits, a last odd one 6. Stateless; safe from any thread.
#pragma once

#include <vexaqr/transport/Transport.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vexaqr {

/// The largest frames one symbol version carries.
struct SymbolFrameCapacity {
    int version = 0;
    /// Alphanumeric characters the symbol holds.
    std::size_t characters = 0;
    /// Bytes of the longest frame whose base-45 text fits.
    std::size_t frameLength = 0;
    /// Packets of the largest luby frame; 0 when not even one packet fits.
    std::uint32_t ltPacketsPerFrame = 0;
    /// Block of the largest cyclic frame; 0 when not even one byte fits.
    std::size_t cyclicBlockLength = 0;

    /// Both counts as a frame size (valid only when both are at least 1).
    VexaQRFrameSize frameSize() const { return {ltPacketsPerFrame, cyclicBlockLength}; }
};

class QrSymbolCapacity final {
public:
    static constexpr int kSmallestVersion = 1;
    static constexpr int kLargestVersion = 40;
    /// The smallest version whose largest luby frame holds at least one packet.
    static constexpr int kSmallestFrameVersion = 2;

    /// Alphanumeric characters a level-L symbol of `version` holds; 0 for a version outside 1 to 40.
    static std::size_t alphanumericCharacters(int version);

    /// The smallest version holding `characters` alphanumeric characters; nothing when version 40
    /// cannot.
    static std::optional<int> smallestVersionHolding(std::size_t characters);

    /// The largest frames of `version`; nothing for a version outside 1 to 40.
    static std::optional<SymbolFrameCapacity> largestFrames(int version);

    /// Characters of the base-45 text of a frame of `frameLength` bytes.
    static std::size_t base45Length(std::size_t frameLength);

    /// Why a frame of `frameLength` bytes does not fit a symbol of `version`, with what would fit.
    static std::string frameDoesNotFit(std::size_t frameLength, int version);
};

} // namespace vexaqr

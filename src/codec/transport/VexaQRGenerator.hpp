// VexaQRGenerator: an endless source of frames for one byte string, in one transport mode. Made by
// VexaQRGenerator::make, which refuses data that no frame of the mode can carry. Not thread-safe.
#pragma once

#include "codec/transport/LTEncoder.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/transport/Transport.hpp>

#include <cstdint>
#include <memory>
#include <optional>

namespace vexaqr {

class VexaQRGenerator {
public:
    /// Error codes of VexaQRGenerator::make.
    enum ErrorCode : std::int64_t {
        emptyData = 1,        // nothing to send
        dataTooLarge = 2,     // over 255 blocks in cyclic mode, over maximumLubyLength in luby mode
        unknownAlgorithm = 3, // not a transport mode
        invalidFrameSize = 4  // a packet count or block length outside what VexaQRFrameSize accepts
    };
    static constexpr const char* errorDomain = "VexaQRGenerator";
    /// 255 blocks of the default 584 bytes: the most a cyclic transfer of default frames can carry (index
    /// and count are one byte); VexaQRFrameSize::maximumCyclicLength gives it for other block lengths.
    static constexpr std::size_t maximumCyclicLength = 148920;
    /// The most a luby transfer carries: what every frame reader accepts.
    static constexpr std::size_t maximumLubyLength = LT::kMaximumTotalLength;

    virtual ~VexaQRGenerator() = default;

    /// The bytes of the next frame; every call returns a frame and the sequence never ends.
    virtual Bytes nextQRContent() = 0;

    /// A generator for `data` in `algorithm` mode, its frames as large as `frameSize` says for that
    /// mode. `seed` fixes the first LT seed (reproducible frames); without it the clock is used. Cyclic
    /// mode ignores it. The failure is the one `accepts` gives.
    static Outcome<std::unique_ptr<VexaQRGenerator>, Error> make(const Bytes& data, VxaAlgorithm algorithm,
                                                                 std::optional<std::uint32_t> seed = std::nullopt,
                                                                 VexaQRFrameSize frameSize = {});

    /// Whether make would make a generator for data of `size` bytes in `algorithm` mode with `frameSize`
    /// frames; the failure (domain errorDomain, an ErrorCode) says why not.
    static Outcome<void, Error> accepts(std::size_t size, VxaAlgorithm algorithm, VexaQRFrameSize frameSize = {});
};

} // namespace vexaqr

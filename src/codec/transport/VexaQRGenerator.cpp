#include "codec/transport/VexaQRGenerator.hpp"

#include "codec/transport/CyclicVexaQRGenerator.hpp"
#include "codec/transport/LTCodedVexaQRGenerator.hpp"

#include <string>

namespace vexaqr {

namespace {

Error refusal(VexaQRGenerator::ErrorCode code, std::string message) {
    return Error{VexaQRGenerator::errorDomain, code, std::move(message)};
}

} // namespace

Outcome<void, Error> VexaQRGenerator::accepts(std::size_t size, VxaAlgorithm algorithm, VexaQRFrameSize frameSize) {
    if (size == 0) {
        return refusal(emptyData, "there is no data to send");
    }
    switch (algorithm) {
    case VxaAlgorithm::luby:
        if (!VexaQRFrameSize::isValidLtPacketsPerFrame(frameSize.ltPacketsPerFrame)) {
            return refusal(invalidFrameSize, "a luby frame carries 1 to " +
                                                 std::to_string(VexaQRFrameSize::kMaximumLtPacketsPerFrame) +
                                                 " packets, not " + std::to_string(frameSize.ltPacketsPerFrame));
        }
        if (size > maximumLubyLength) {
            return refusal(dataTooLarge, "luby frames carry at most " + std::to_string(maximumLubyLength) +
                                             " bytes (what every reader accepts); the data has " +
                                             std::to_string(size));
        }
        return {};
    case VxaAlgorithm::cyclic:
        if (!VexaQRFrameSize::isValidCyclicBlockLength(frameSize.cyclicBlockLength)) {
            return refusal(invalidFrameSize, "a cyclic block holds 1 to " +
                                                 std::to_string(VexaQRFrameSize::kMaximumCyclicBlockLength) +
                                                 " bytes, not " + std::to_string(frameSize.cyclicBlockLength));
        }
        if (size > frameSize.maximumCyclicLength()) {
            return refusal(dataTooLarge, "cyclic frames carry at most " +
                                             std::to_string(frameSize.maximumCyclicLength()) +
                                             " bytes (255 blocks of " + std::to_string(frameSize.cyclicBlockLength) +
                                             "); the data has " + std::to_string(size));
        }
        return {};
    }
    return refusal(unknownAlgorithm, "unknown transport mode " + std::to_string(static_cast<int>(algorithm)));
}

Outcome<std::unique_ptr<VexaQRGenerator>, Error> VexaQRGenerator::make(const Bytes& data, VxaAlgorithm algorithm,
                                                                       std::optional<std::uint32_t> seed,
                                                                       VexaQRFrameSize frameSize) {
    if (auto accepted = accepts(data.size(), algorithm, frameSize); !accepted) {
        return accepted.failure();
    }
    if (algorithm == VxaAlgorithm::luby) {
        return std::unique_ptr<VexaQRGenerator>(
            std::make_unique<LTCodedVexaQRGenerator>(data, seed, frameSize.ltPacketsPerFrame));
    }
    return std::unique_ptr<VexaQRGenerator>(std::make_unique<CyclicVexaQRGenerator>(data, frameSize.cyclicBlockLength));
}

} // namespace vexaqr

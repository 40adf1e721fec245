#include <vexaqr/transport/VexaQRGenerator.hpp>

#include <vexaqr/transport/CyclicVexaQRGenerator.hpp>
#include <vexaqr/transport/LTCodedVexaQRGenerator.hpp>

#include <string>

namespace vexaqr {

namespace {

Error refusal(VexaQRGenerator::ErrorCode code, std::string message) {
    return Error{VexaQRGenerator::errorDomain, code, std::move(message)};
}

} // namespace

std::optional<Error> VexaQRGenerator::refusalFor(std::size_t size, VxaAlgorithm algorithm, VexaQRFrameSize frameSize) {
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
        return std::nullopt;
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
        return std::nullopt;
    }
    return refusal(unknownAlgorithm, "unknown transport mode " + std::to_string(static_cast<int>(algorithm)));
}

VexaQRGeneratorResult VexaQRGenerator::make(const Bytes& data, VxaAlgorithm algorithm,
                                            std::optional<std::uint32_t> seed, VexaQRFrameSize frameSize) {
    if (auto refused = refusalFor(data.size(), algorithm, frameSize)) {
        return {nullptr, std::move(refused)};
    }
    if (algorithm == VxaAlgorithm::luby) {
        return {std::make_unique<LTCodedVexaQRGenerator>(data, seed, frameSize.ltPacketsPerFrame), std::nullopt};
    }
    return {std::make_unique<CyclicVexaQRGenerator>(data, frameSize.cyclicBlockLength), std::nullopt};
}

} // namespace vexaqr

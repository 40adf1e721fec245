#include <vexaqr/transport/VexaQRGenerator.hpp>

#include <vexaqr/transport/CyclicVexaQRGenerator.hpp>
#include <vexaqr/transport/LTCodedVexaQRGenerator.hpp>

#include <string>

namespace vexaqr {

namespace {

VexaQRGeneratorResult refusal(VexaQRGenerator::ErrorCode code, std::string message) {
    return {nullptr, Error{VexaQRGenerator::errorDomain, code, std::move(message)}};
}

} // namespace

VexaQRGeneratorResult VexaQRGenerator::make(const Bytes& data, VxaAlgorithm algorithm,
                                            std::optional<std::uint32_t> seed) {
    if (data.empty()) {
        return refusal(emptyData, "there is no data to send");
    }
    switch (algorithm) {
    case VxaAlgorithm::luby:
        if (data.size() > maximumLubyLength) {
            return refusal(dataTooLarge, "luby frames carry at most " + std::to_string(maximumLubyLength) +
                                             " bytes (what every reader accepts); the data has " +
                                             std::to_string(data.size()));
        }
        return {std::make_unique<LTCodedVexaQRGenerator>(data, seed), std::nullopt};
    case VxaAlgorithm::cyclic:
        if (data.size() > maximumCyclicLength) {
            return refusal(dataTooLarge, "cyclic frames carry at most 148920 bytes (255 blocks of 584); the data has " +
                                             std::to_string(data.size()));
        }
        return {std::make_unique<CyclicVexaQRGenerator>(data), std::nullopt};
    }
    return refusal(unknownAlgorithm, "unknown transport mode " + std::to_string(static_cast<int>(algorithm)));
}

} // namespace vexaqr

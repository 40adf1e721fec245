// Arbitrary frame sequences for the frame reader, run with each LT decoder. The input is a series of
// frames, each preceded by its length in two bytes (big-endian).
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <cstddef>
#include <cstdint>

using namespace vexaqr;

namespace {

// Progress stays within [0, 1], each completion follows a report of 1.0, and luby data never
// exceeds the decoder's total-length limit.
class CheckingDelegate final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override {
        if (_lastPercent != 1.0 || (_lastAlgorithm == VxaAlgorithm::luby && decodedData.size() > (1u << 20))) {
            __builtin_trap();
        }
    }
    void vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm algorithm) override {
        if (!(percent >= 0.0 && percent <= 1.0)) {
            __builtin_trap();
        }
        _lastPercent = percent;
        _lastAlgorithm = algorithm;
    }

private:
    double _lastPercent = 0.0;
    VxaAlgorithm _lastAlgorithm = VxaAlgorithm::luby;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const LTDecoderKind kind : {LTDecoderKind::peeling, LTDecoderKind::maximumLikelihood}) {
        CheckingDelegate delegate;
        VexaQRDecoderImpl reader(delegate, kind);
        std::size_t offset = 0;
        while (offset + 2 <= size) {
            const std::size_t length = std::size_t{data[offset]} << 8 | data[offset + 1];
            offset += 2;
            const std::size_t end = offset + length < size ? offset + length : size;
            reader.scannedQR(Bytes(data + offset, data + end));
            offset = end;
            const double estimate = reader.estimatedProgress();
            if (!(estimate >= 0.0 && estimate <= 1.0)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}

// What a frame reader reports: progress after every useful packet or block, and each completed
// transfer once. Both callbacks run on the thread that fed the frame, inside VexaQRDecoder::scannedQR.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/transport/Transport.hpp>

namespace vexaqr {

class VexaQRDecoder;

class VexaQRDecoderDelegate {
public:
    virtual ~VexaQRDecoderDelegate() = default;

    /// A transfer is complete; `decodedData` is the whole transported byte string. The reader has
    /// already reset itself, so frames fed from here on start a new transfer.
    virtual void vexaQRDecoder(VexaQRDecoder& decoder, const Bytes& decodedData) = 0;

    /// Progress of the transfer in `algorithm` mode, as a fraction from 0.0 to 1.0 (not a percentage).
    virtual void vexaQRDecoder(VexaQRDecoder& decoder, double percent, VxaAlgorithm algorithm) = 0;
};

} // namespace vexaqr

// The frame reader as the scanner holds it: frames go in one at a time, results come out through the
// reader's delegate (VexaQRDecoderDelegate).
#pragma once

#include <vexaqr/Bytes.hpp>

namespace vexaqr {

class VexaQRDecoder {
public:
    virtual ~VexaQRDecoder() = default;

    /// Feeds the bytes of one frame, in the order the camera saw them (repeats, gaps and frames of
    /// other transfers included). Delegate callbacks are made synchronously from inside this call.
    virtual void scannedQR(const Bytes& frame) = 0;
};

} // namespace vexaqr

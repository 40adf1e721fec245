// VexaQRDecoderImpl: the frame reader. Recognises each frame's transport mode by its first byte,
// reassembles the transported byte string and reports to its delegate.
//
// Luby frame (numbers unsigned 32-bit big-endian):
//   [0] 0x01 | [1..4] seed of the first packet | [5..8] total length | [9..12] packet length L |
//   [13..] n = floor((size - 13) / L) packets of L bytes (n = 0 when L = 0; trailing bytes ignored)
// Cyclic frame:
//   [0] 0x02 | [1] block index from 0 | [2] block count | [3..] the block (all remaining bytes)
//
// Consecutive sightings of one symbol are dropped by comparing with the last luby seed (shared by
// every reader of the process, 0 at start) and the last cyclic index (99 after construction).
// A luby and a cyclic transfer may be under way at once; the completion of either resets both.
//
// Not thread-safe: every reader of a process must be driven from the same thread (the shared luby
// seed is unsynchronised). The delegate must outlive the reader.
#pragma once

#include <vexaqr/transport/LTDecoderProxy.hpp>
#include <vexaqr/transport/VexaQRDecoder.hpp>
#include <vexaqr/transport/VexaQRDecoderDelegate.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace vexaqr {

class VexaQRDecoderImpl final : public VexaQRDecoder {
public:
    explicit VexaQRDecoderImpl(VexaQRDecoderDelegate& delegate);

    /// Handles one frame. Frames that are empty, of an unknown mode, too short for their layout
    /// (luby under 13 bytes, cyclic under 3) and cyclic frames with count 0 or an index not below
    /// their count are ignored: no change, no callback. A cyclic frame whose count differs from a
    /// partly filled table's replaces it with a fresh table for the new count.
    void scannedQR(const Bytes& frame) override;

    /// Forgets both partial transfers (the last luby seed and cyclic index are kept). The reader
    /// calls it itself on completion.
    void reset();

private:
    void scannedLubyFrame(const Bytes& frame);
    void scannedCyclicFrame(const Bytes& frame);
    Bytes joinedBlocks() const;

    VexaQRDecoderDelegate& _delegate;
    LTDecoderProxy _decoder;
    std::optional<std::vector<std::optional<Bytes>>> _qrFrames;
    std::uint64_t _receivedQRFrames = 0;
    std::uint64_t _prevQRFrame = 99;
};

} // namespace vexaqr

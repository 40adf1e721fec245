// VexaQRDecoderImpl: the frame reader. Recognises each frame's transport mode by its first byte,
// reassembles the transported byte string and reports to its delegate.
//
// Luby frame (numbers unsigned 32-bit big-endian):
//   [0] 0x01 | [1..4] seed of the first packet | [5..8] total length | [9..12] packet length L |
//   [13..] n = floor((size - 13) / L) packets of L bytes (n = 0 when L = 0; trailing bytes ignored)
// Cyclic frame:
//   [0] 0x02 | [1] block index from 0 | [2] block count | [3..] the block (all remaining bytes)
//
// Consecutive sightings of one symbol are dropped by comparing with the reader's last luby seed (0 after
// construction) and its last cyclic index (99 after construction).
// A luby and a cyclic transfer may be under way at once; the completion of either resets both.
//
// Besides the documented progress (known symbols ÷ K, which for luby sits near 0 until it jumps to 1), the
// reader keeps an estimated progress: frames fed ÷ frames the transfer is expected to need, from the packets
// received and the chosen decoder's measured overhead. It never falls within a transfer and reaches 1 only
// at completion.
//
// Not thread-safe: a reader is driven from one thread at a time. Readers share no state, so readers on
// several threads run side by side. The delegate must outlive the reader.
#pragma once

#include "codec/transport/LTDecoderProxy.hpp"
#include "codec/transport/VexaQRDecoder.hpp"
#include "codec/transport/VexaQRDecoderDelegate.hpp"
#include <vexaqr/transport/Transport.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace vexaqr {

class VexaQRDecoderImpl final : public VexaQRDecoder {
public:
    /// A reader reporting to `delegate`, rebuilding luby transfers with the `decoder` chosen.
    explicit VexaQRDecoderImpl(VexaQRDecoderDelegate& delegate, LTDecoderKind decoder = LTDecoderKind::peeling);

    /// Handles one frame. Frames that are empty, of an unknown mode, too short for their layout
    /// (luby under 13 bytes, cyclic under 3) and cyclic frames with count 0 or an index not below
    /// their count are ignored: no change, no callback. A cyclic frame whose count differs from a
    /// partly filled table's replaces it with a fresh table for the new count.
    void scannedQR(const Bytes& frame) override;

    /// Forgets both partial transfers (the last luby seed and cyclic index are kept). The reader
    /// calls it itself on completion.
    void reset();

    /// Estimated fraction (0 to 1) of the transfer the last accepted frame belongs to: never decreases
    /// within a transfer, 1 only once it completed (and until a frame of a new transfer is accepted).
    double estimatedProgress() const { return counters(_lastMode).estimate; }
    /// Frames accepted for the transfer under way or just completed (repeats of the previous frame are not).
    std::uint64_t framesFed() const { return counters(_lastMode).frames; }
    /// LT packets handed to the decoder for that transfer (cyclic transfers have none).
    std::uint64_t packetsFed() const { return counters(_lastMode).packets; }
    /// Source symbols (K) of that transfer for luby, blocks for cyclic; 0 before a packet or block was taken.
    std::uint32_t symbolCount() const { return counters(_lastMode).symbols; }
    LTDecoderKind decoderKind() const { return _decoderKind; }

private:
    struct Counters {
        std::uint64_t frames = 0;
        std::uint64_t packets = 0;
        std::uint32_t symbols = 0;
        double expectedPackets = 0.0; // luby: the packets a transfer of this size is expected to need
        double estimate = 0.0;
        bool completed = false;
    };

    void scannedLubyFrame(const Bytes& frame);
    void scannedCyclicFrame(const Bytes& frame);
    Bytes joinedBlocks() const;
    Counters& countFrame(VxaAlgorithm mode);
    void raiseLubyEstimate(std::uint64_t packetsPerFrame);
    void complete(VxaAlgorithm mode, const Bytes& data);
    const Counters& counters(VxaAlgorithm mode) const { return mode == VxaAlgorithm::luby ? _luby : _cyclic; }

    VexaQRDecoderDelegate& _delegate;
    LTDecoderKind _decoderKind;
    LTDecoderProxy _decoder;
    std::optional<std::vector<std::optional<Bytes>>> _qrFrames;
    std::uint64_t _receivedQRFrames = 0;
    std::uint64_t _prevQRFrame = 99;
    std::uint32_t _previousLubySeed = 0;
    Counters _luby;
    Counters _cyclic;
    VxaAlgorithm _lastMode = VxaAlgorithm::luby;
};

} // namespace vexaqr

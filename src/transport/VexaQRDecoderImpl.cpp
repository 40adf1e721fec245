#include <vexaqr/transport/VexaQRDecoderImpl.hpp>

#include <vexaqr/platform/SystemLog.hpp>

namespace vexaqr {

namespace {

constexpr std::size_t kLubyHeaderLength = 13;
constexpr std::size_t kCyclicHeaderLength = 3;

// The last accepted luby seed, shared by every reader of the process and never cleared.
std::uint32_t previousLubySeed = 0;

std::uint32_t readBigEndian32(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) << 24 | static_cast<std::uint32_t>(bytes[offset + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 8 | static_cast<std::uint32_t>(bytes[offset + 3]);
}

} // namespace

VexaQRDecoderImpl::VexaQRDecoderImpl(VexaQRDecoderDelegate& delegate) : _delegate(delegate) {
    reset();
}

void VexaQRDecoderImpl::reset() {
    _qrFrames.reset();
    _receivedQRFrames = 0;
    _decoder = LTDecoderProxy();
}

void VexaQRDecoderImpl::scannedQR(const Bytes& frame) {
    if (frame.empty()) {
        return;
    }
    if (frame[0] == static_cast<std::uint8_t>(VxaAlgorithm::luby)) {
        scannedLubyFrame(frame);
    } else if (frame[0] == static_cast<std::uint8_t>(VxaAlgorithm::cyclic)) {
        scannedCyclicFrame(frame);
    }
}

void VexaQRDecoderImpl::scannedLubyFrame(const Bytes& frame) {
    if (frame.size() < kLubyHeaderLength) {
        return;
    }
    const std::uint32_t seed = readBigEndian32(frame, 1);
    if (seed == previousLubySeed) {
        return;
    }
    previousLubySeed = seed;
    SystemLog::standard().write("luby");

    _decoder.setTotalLength(readBigEndian32(frame, 5));
    _decoder.setSeed(seed);
    const std::uint64_t packetLength = readBigEndian32(frame, 9);
    // Whole packets only: a 20-byte frame with L = 8 stores its seed and processes none, a 28-byte
    // frame processes one and ignores its 7 trailing bytes.
    const std::uint64_t packets = packetLength == 0 ? 0 : (frame.size() - kLubyHeaderLength) / packetLength;

    for (std::uint64_t i = 0; i < packets; ++i) {
        const auto first = frame.begin() + static_cast<std::ptrdiff_t>(kLubyHeaderLength + i * packetLength);
        _decoder.processPacket(Bytes(first, first + static_cast<std::ptrdiff_t>(packetLength)));
        _delegate.vexaQRDecoder(*this, _decoder.progress(), VxaAlgorithm::luby);
        if (_decoder.isFinished()) {
            const Bytes data = _decoder.data();
            reset();
            _delegate.vexaQRDecoder(*this, data);
            return;
        }
    }
}

void VexaQRDecoderImpl::scannedCyclicFrame(const Bytes& frame) {
    if (frame.size() < kCyclicHeaderLength) {
        return;
    }
    const std::uint8_t index = frame[1];
    const std::uint8_t count = frame[2];
    if (count == 0 || index >= count) {
        return;
    }
    if (!_qrFrames || _qrFrames->size() != count) {
        // A count unlike the table's means the presenter now shows other data: the old blocks can
        // never complete, so the new transfer gets a table of its own.
        _qrFrames.emplace(count);
        _receivedQRFrames = 0;
    }
    if (index == _prevQRFrame) {
        return;
    }
    SystemLog::standard().write("cyclic");
    _prevQRFrame = index;

    auto& slot = (*_qrFrames)[index];
    if (slot) {
        return;
    }
    slot.emplace(frame.begin() + kCyclicHeaderLength, frame.end());
    ++_receivedQRFrames;
    _delegate.vexaQRDecoder(*this, static_cast<double>(_receivedQRFrames) / static_cast<double>(count),
                            VxaAlgorithm::cyclic);
    if (_receivedQRFrames == count) {
        const Bytes data = joinedBlocks();
        reset();
        _delegate.vexaQRDecoder(*this, data);
    }
}

Bytes VexaQRDecoderImpl::joinedBlocks() const {
    Bytes data;
    for (const auto& block : *_qrFrames) {
        data.insert(data.end(), block->begin(), block->end());
    }
    return data;
}

} // namespace vexaqr

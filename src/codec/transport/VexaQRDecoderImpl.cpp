#include "codec/transport/VexaQRDecoderImpl.hpp"

#include "codec/transport/LubyFrameHeader.hpp"

#include "codec/platform/SystemLog.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace vexaqr {

namespace {

constexpr std::size_t kCyclicHeaderLength = 3;

// Packets received until completion ÷ K, mean over many random transfers of this code (measured by
// bench/bench_lt_completion: peeling until it completes, maximum likelihood until the received equations
// reach rank K); between the measured K the ratio is interpolated in log K.
struct Overhead {
    double packetCount;
    double peeling;
    double maximumLikelihood;
};
constexpr std::array kMeasuredOverheads{
    Overhead{1, 1.0, 1.0},         Overhead{10, 1.54, 1.50},    Overhead{73, 1.39, 1.098},
    Overhead{300, 1.23, 1.019},    Overhead{1000, 1.13, 1.009}, Overhead{5000, 1.07, 1.0016},
    Overhead{18615, 1.06, 1.0012},
};

double expectedOverhead(LTDecoderKind kind, double packetCount) {
    auto ratio = [kind](const Overhead& entry) {
        return kind == LTDecoderKind::maximumLikelihood ? entry.maximumLikelihood : entry.peeling;
    };
    const auto above = std::find_if(kMeasuredOverheads.begin(), kMeasuredOverheads.end(),
                                    [&](const Overhead& entry) { return entry.packetCount >= packetCount; });
    if (above == kMeasuredOverheads.begin()) {
        return ratio(*above);
    }
    if (above == kMeasuredOverheads.end()) {
        return ratio(kMeasuredOverheads.back());
    }
    const Overhead& below = *std::prev(above);
    const double t = std::log(packetCount / below.packetCount) / std::log(above->packetCount / below.packetCount);
    return ratio(below) + t * (ratio(*above) - ratio(below));
}

// Packets fed ÷ packets the transfer is expected to need, in whole frames: once the expected need is
// passed, at least one more frame is always still expected, so the estimate stays below 1.
double lubyEstimate(double expected, std::uint64_t packetsFed, std::uint32_t knownShortfall,
                    std::uint64_t packetsPerFrame) {
    const double fed = static_cast<double>(packetsFed);
    const double perFrame = static_cast<double>(packetsPerFrame);
    const double remaining = std::max({expected - fed, static_cast<double>(knownShortfall), 0.0});
    // A transfer ends at a frame's end: on average half a frame after the last packet it needs.
    const double estimate = fed / (fed + std::max(perFrame, remaining + perFrame / 2));
    return std::min(estimate, std::nextafter(1.0, 0.0));
}

} // namespace

VexaQRDecoderImpl::VexaQRDecoderImpl(VexaQRDecoderDelegate& delegate, LTDecoderKind decoder)
    : _delegate(delegate), _decoderKind(decoder), _decoder(decoder) {
    reset();
}

void VexaQRDecoderImpl::reset() {
    _qrFrames.reset();
    _receivedQRFrames = 0;
    _decoder = LTDecoderProxy(_decoderKind);
    _luby = {};
    _cyclic = {};
}

VexaQRDecoderImpl::Counters& VexaQRDecoderImpl::countFrame(VxaAlgorithm mode) {
    Counters& counters = mode == VxaAlgorithm::luby ? _luby : _cyclic;
    if (counters.completed) {
        counters = {}; // the first frame of a new transfer
    }
    ++counters.frames;
    _lastMode = mode;
    return counters;
}

void VexaQRDecoderImpl::raiseLubyEstimate(std::uint64_t packetsPerFrame) {
    if (_decoder.packetCount() == 0 || packetsPerFrame == 0) {
        return;
    }
    if (_luby.expectedPackets == 0.0) { // once per transfer: the interpolation takes two logarithms
        const double packetCount = _decoder.packetCount();
        _luby.expectedPackets = expectedOverhead(_decoderKind, packetCount) * packetCount;
    }
    _luby.estimate = std::max(_luby.estimate, lubyEstimate(_luby.expectedPackets, _luby.packets,
                                                           _decoder.knownShortfall(), packetsPerFrame));
}

void VexaQRDecoderImpl::complete(VxaAlgorithm mode, const Bytes& data) {
    const Counters finished = counters(mode);
    reset();
    Counters& kept = mode == VxaAlgorithm::luby ? _luby : _cyclic;
    kept = finished;
    kept.estimate = 1.0;
    kept.completed = true;
    _delegate.vexaQRDecoder(*this, data);
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
    const auto header = LubyFrameHeader::read(frame);
    if (!header) {
        return;
    }
    if (header->seed == _previousLubySeed) {
        return;
    }
    _previousLubySeed = header->seed;
    SystemLog::standard().write("luby");
    countFrame(VxaAlgorithm::luby);

    _decoder.setTotalLength(header->totalLength);
    _decoder.setSeed(header->seed);
    // Whole packets only: a 20-byte frame with L = 8 stores its seed and processes none, a 28-byte
    // frame processes one and ignores its 7 trailing bytes.
    const std::uint64_t packets = header->packetsIn(frame.size());

    for (std::uint64_t i = 0; i < packets; ++i) {
        _decoder.processPacket(frame.data() + header->packetOffset(i), header->packetLength);
        ++_luby.packets;
        _luby.symbols = _decoder.packetCount();
        raiseLubyEstimate(packets);
        _delegate.vexaQRDecoder(*this, _decoder.progress(), VxaAlgorithm::luby);
        if (_decoder.isFinished()) {
            complete(VxaAlgorithm::luby, _decoder.data());
            return;
        }
    }
    if (packets > 0 && _decoder.endFrame()) {
        // Solved at the frame's end: the documented progress reaches 1 before the data is handed over.
        _delegate.vexaQRDecoder(*this, _decoder.progress(), VxaAlgorithm::luby);
        complete(VxaAlgorithm::luby, _decoder.data());
        return;
    }
    raiseLubyEstimate(packets);
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
        _cyclic = {};
    }
    if (index == _prevQRFrame) {
        return;
    }
    SystemLog::standard().write("cyclic");
    _prevQRFrame = index;
    Counters& counters = countFrame(VxaAlgorithm::cyclic);
    counters.symbols = count;

    auto& slot = (*_qrFrames)[index];
    if (slot) {
        return;
    }
    slot.emplace(frame.begin() + kCyclicHeaderLength, frame.end());
    ++_receivedQRFrames;
    if (_receivedQRFrames < count) {
        counters.estimate = static_cast<double>(_receivedQRFrames) / static_cast<double>(count);
    }
    _delegate.vexaQRDecoder(*this, static_cast<double>(_receivedQRFrames) / static_cast<double>(count),
                            VxaAlgorithm::cyclic);
    if (_receivedQRFrames == count) {
        complete(VxaAlgorithm::cyclic, joinedBlocks());
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

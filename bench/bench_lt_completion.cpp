// How many frames each LT decoder needs, and how honest the reader's estimated progress is, over many
// random luby transfers. Each case runs once; the figures are in the counters:
//   frames/ideal  mean frames fed until completion ÷ (K / 73), the frames a perfect code would need
//   packets/K     mean packets fed until completion ÷ K (the overhead the reader's estimate assumes)
//   estimateErr   mean |estimated progress − frames fed ÷ frames needed| after each frame
//   knownErr      the same for the documented progress (known source packets ÷ K)
// Arguments: K, decoder (0 peeling, 1 maximum likelihood), frame loss in percent.
#include "codec/transport/LTDecoder.hpp"
#include "codec/transport/LTPacketPayload.hpp"

#include "codec/transport/LTEncoder.hpp"
#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

using namespace vexaqr;

namespace {

class ProgressDelegate final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes&) override { completed = true; }
    void vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm) override { known = percent; }
    bool completed = false;
    double known = 0.0;
};

struct Transfer {
    std::uint64_t frames = 0;
    std::uint64_t packets = 0;
    double estimateError = 0.0; // summed over the frames fed
    double knownError = 0.0;
};

Transfer runTransfer(std::uint32_t packetCount, LTDecoderKind kind, double loss, std::uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes data(packetCount * 8);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(engine());
    }
    LTQRGenerator generator(data, seed * 2654435761u);
    ProgressDelegate delegate;
    VexaQRDecoderImpl reader(delegate, kind);
    std::bernoulli_distribution lost(loss);
    std::vector<double> estimates;
    std::vector<double> known;
    while (!delegate.completed) {
        const Bytes frame = generator.nextQRContent();
        if (lost(engine)) {
            continue;
        }
        reader.scannedQR(frame);
        estimates.push_back(reader.estimatedProgress());
        known.push_back(delegate.completed ? 1.0 : delegate.known);
    }
    Transfer transfer;
    transfer.frames = reader.framesFed();
    transfer.packets = reader.packetsFed();
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const double truth = static_cast<double>(i + 1) / static_cast<double>(estimates.size());
        transfer.estimateError += std::abs(estimates[i] - truth);
        transfer.knownError += std::abs(known[i] - truth);
    }
    return transfer;
}

int transfersFor(std::uint32_t packetCount) {
    return packetCount <= 1000 ? 300 : packetCount <= 5000 ? 60 : 16;
}

void BM_FramesToCompletion(benchmark::State& state) {
    const auto packetCount = static_cast<std::uint32_t>(state.range(0));
    const auto kind = state.range(1) == 0 ? LTDecoderKind::peeling : LTDecoderKind::maximumLikelihood;
    const double loss = static_cast<double>(state.range(2)) / 100.0;
    double frames = 0;
    double packets = 0;
    double estimateError = 0;
    double knownError = 0;
    const int transfers = transfersFor(packetCount);
    for (auto _ : state) {
        for (int t = 0; t < transfers; ++t) {
            const Transfer transfer = runTransfer(packetCount, kind, loss, 1000003u * packetCount + t + 1);
            frames += static_cast<double>(transfer.frames);
            packets += static_cast<double>(transfer.packets);
            estimateError += transfer.estimateError;
            knownError += transfer.knownError;
        }
    }
    state.SetLabel(std::string(ltDecoderKindName(kind)));
    state.counters["transfers"] = transfers;
    state.counters["frames/ideal"] = frames / transfers / (packetCount / 73.0);
    state.counters["packets/K"] = packets / transfers / packetCount;
    state.counters["estimateErr"] = estimateError / frames;
    state.counters["knownErr"] = knownError / frames;
}
BENCHMARK(BM_FramesToCompletion)
    ->ArgsProduct({{10, 73, 300, 1000, 5000, 18615}, {0, 1}, {0, 20}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Packets until the received equations reach rank K (the maximum-likelihood decoder solving after every
// packet) and until peeling completes, fed straight to the decoders: the overheads behind the estimate.
void BM_PacketsToCompletion(benchmark::State& state) {
    const auto packetCount = static_cast<std::uint32_t>(state.range(0));
    const bool solving = state.range(1) == 1;
    const int transfers = transfersFor(packetCount);
    double packets = 0;
    for (auto _ : state) {
        for (int t = 0; t < transfers; ++t) {
            const std::uint32_t seed = 7000003u * packetCount + t + 1;
            std::mt19937 engine(seed);
            std::vector<std::uint8_t> data(packetCount * 8);
            for (auto& byte : data) {
                byte = static_cast<std::uint8_t>(engine());
            }
            LT::Encoder encoder(data, 8, seed);
            LT::Decoder decoder;
            decoder.setTotalLength(packetCount * 8);
            decoder.setSeed(seed);
            while (!decoder.isFinished()) {
                decoder.processPacket(encoder.generatePacket().bytes());
                if (solving) {
                    decoder.completeBySolving();
                }
            }
            packets += static_cast<double>(decoder.acceptedPacketCount());
        }
    }
    state.SetLabel(solving ? "rank K" : "peeling");
    state.counters["transfers"] = transfers;
    state.counters["packets/K"] = packets / transfers / packetCount;
}
BENCHMARK(BM_PacketsToCompletion)
    ->ArgsProduct({{10, 73, 300, 1000, 5000, 18615}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

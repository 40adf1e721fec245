// The receive path (base-45 text -> frame reader -> data), the base-45 codec and LT frame generation.
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/CyclicVexaQRGenerator.hpp"
#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include "support/CraftedFrames.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

using namespace vexaqr;

namespace {

class CompletionDelegate final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override { data = decodedData; }
    void vexaQRDecoder(VexaQRDecoder&, double, VxaAlgorithm) override {}
    Bytes data;
};

Bytes sampleData(std::size_t length) {
    std::mt19937 engine(static_cast<std::uint32_t>(length));
    Bytes data(length);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(engine());
    }
    return data;
}

// The base-45 lines of a luby transfer, exactly as many as a receiver with `kind` needs without losses.
std::vector<std::string> lubyLinesUntilComplete(const Bytes& data, LTDecoderKind kind = LTDecoderKind::peeling) {
    LTQRGenerator generator(data, 20261208);
    CompletionDelegate delegate;
    VexaQRDecoderImpl reader(delegate, kind);
    std::vector<std::string> lines;
    while (delegate.data.empty()) {
        const Bytes frame = generator.nextQRContent();
        lines.push_back(Base45Converter::base45EncodedString(frame));
        reader.scannedQR(frame);
    }
    return lines;
}

void BM_ReceiveLubyTransfer(benchmark::State& state) {
    const Bytes data = sampleData(static_cast<std::size_t>(state.range(0)));
    const std::vector<std::string> lines = lubyLinesUntilComplete(data);
    for (auto _ : state) {
        CompletionDelegate delegate;
        VexaQRDecoderImpl reader(delegate);
        for (const auto& line : lines) {
            reader.scannedQR(Base45Converter::dataFromBase45String(line));
        }
        if (delegate.data != data) {
            state.SkipWithError("transfer did not complete");
            break;
        }
    }
    state.counters["K"] = static_cast<double>((data.size() + 7) / 8);
    state.counters["frames"] = static_cast<double>(lines.size());
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(lines.size() * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveLubyTransfer)->Arg(584)->Arg(8000)->Arg(148920)->Unit(benchmark::kMillisecond);

// The same transfer through each decoder from its frame texts (base-45 included), each fed the frames it needs:
// the receiver's whole CPU cost per transfer (argument 1: 0 peeling, 1 maximum likelihood).
void BM_ReceiveLubyTransferByDecoder(benchmark::State& state) {
    const auto kind = state.range(1) == 0 ? LTDecoderKind::peeling : LTDecoderKind::maximumLikelihood;
    const Bytes data = sampleData(static_cast<std::size_t>(state.range(0)));
    const std::vector<std::string> lines = lubyLinesUntilComplete(data, kind);
    for (auto _ : state) {
        CompletionDelegate delegate;
        VexaQRDecoderImpl reader(delegate, kind);
        for (const auto& line : lines) {
            reader.scannedQR(Base45Converter::dataFromBase45String(line));
        }
        if (delegate.data != data) {
            state.SkipWithError("transfer did not complete");
            break;
        }
    }
    state.SetLabel(std::string(ltDecoderKindName(kind)));
    state.counters["frames"] = static_cast<double>(lines.size());
    state.counters["us/packet"] =
        benchmark::Counter(static_cast<double>(lines.size() * 73) * 1e-6,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReceiveLubyTransferByDecoder)
    ->ArgsProduct({{8192, 102400, 1048576}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// One more frame of a hostile peer (every packet of degree two or more, the last source packet never touched)
// after the largest transfer's reader has taken enough of them to stall: the work a frame costs from then on.
void BM_NeverCompletingFrameAfterStall(benchmark::State& state) {
    const auto kind = state.range(0) == 0 ? LTDecoderKind::peeling : LTDecoderKind::maximumLikelihood;
    constexpr std::uint32_t kTotalLength = 1u << 20;
    constexpr std::size_t kStallFrames = (kTotalLength / 8) / 73 + 40;
    constexpr std::size_t kMeasuredFrames = 200;
    const auto frames = test::neverCompletingFrames(kTotalLength, kStallFrames + kMeasuredFrames);
    CompletionDelegate delegate;
    VexaQRDecoderImpl reader(delegate, kind);
    for (std::size_t frame = 0; frame < kStallFrames; ++frame) {
        reader.scannedQR(frames[frame]);
    }
    std::size_t next = kStallFrames;
    for (auto _ : state) {
        reader.scannedQR(frames[next++]);
        if (next == frames.size()) {
            state.SkipWithError("ran out of frames");
            break;
        }
    }
    state.SetLabel(std::string(ltDecoderKindName(kind)));
}
BENCHMARK(BM_NeverCompletingFrameAfterStall)->Arg(0)->Arg(1)->Iterations(150)->Unit(benchmark::kMillisecond);

void BM_ReceiveCyclicTransfer(benchmark::State& state) {
    const Bytes data = sampleData(148920);
    CyclicVexaQRGenerator generator(data);
    std::vector<std::string> lines;
    for (int frame = 0; frame < 255; ++frame) {
        lines.push_back(Base45Converter::base45EncodedString(generator.nextQRContent()));
    }
    for (auto _ : state) {
        CompletionDelegate delegate;
        VexaQRDecoderImpl reader(delegate);
        for (const auto& line : lines) {
            reader.scannedQR(Base45Converter::dataFromBase45String(line));
        }
        benchmark::DoNotOptimize(delegate.data);
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(lines.size() * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveCyclicTransfer)->Unit(benchmark::kMillisecond);

void BM_Base45RoundTripOfOneFrame(benchmark::State& state) {
    const Bytes frame = sampleData(597);
    for (auto _ : state) {
        const std::string text = Base45Converter::base45EncodedString(frame);
        benchmark::DoNotOptimize(Base45Converter::dataFromBase45String(text));
    }
}
BENCHMARK(BM_Base45RoundTripOfOneFrame)->Unit(benchmark::kMicrosecond);

void BM_Base45EncodeOneFrame(benchmark::State& state) {
    const Bytes frame = sampleData(597);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Base45Converter::base45EncodedString(frame));
    }
}
BENCHMARK(BM_Base45EncodeOneFrame)->Unit(benchmark::kMicrosecond);

void BM_Base45DecodeOneFrame(benchmark::State& state) {
    const std::string text = Base45Converter::base45EncodedString(sampleData(597));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Base45Converter::dataFromBase45String(text));
    }
}
BENCHMARK(BM_Base45DecodeOneFrame)->Unit(benchmark::kMicrosecond);

void BM_GenerateLubyFrame(benchmark::State& state) {
    LTQRGenerator generator(sampleData(static_cast<std::size_t>(state.range(0))), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(generator.nextQRContent());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GenerateLubyFrame)->Arg(584)->Arg(148920)->Unit(benchmark::kMicrosecond);

} // namespace

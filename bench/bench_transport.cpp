// The receive path (base-45 text -> frame reader -> data), the base-45 codec and LT frame generation.
#include <vexaqr/transport/Base45Converter.hpp>
#include <vexaqr/transport/CyclicVexaQRGenerator.hpp>
#include <vexaqr/transport/LTQRGenerator.hpp>
#include <vexaqr/transport/VexaQRDecoderImpl.hpp>

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

// The same transfer through each decoder, each fed the frames it needs: the CPU cost of the
// maximum-likelihood completion against peeling (argument 1: 0 peeling, 1 maximum likelihood).
void BM_ReceiveLubyTransferByDecoder(benchmark::State& state) {
    const auto kind = state.range(1) == 0 ? LTDecoderKind::peeling : LTDecoderKind::maximumLikelihood;
    const Bytes data = sampleData(static_cast<std::size_t>(state.range(0)));
    const std::vector<std::string> lines = lubyLinesUntilComplete(data, kind);
    std::vector<Bytes> frames;
    for (const auto& line : lines) {
        frames.push_back(Base45Converter::dataFromBase45String(line));
    }
    for (auto _ : state) {
        CompletionDelegate delegate;
        VexaQRDecoderImpl reader(delegate, kind);
        for (const auto& frame : frames) {
            reader.scannedQR(frame);
        }
        if (delegate.data != data) {
            state.SkipWithError("transfer did not complete");
            break;
        }
    }
    state.SetLabel(std::string(ltDecoderKindName(kind)));
    state.counters["frames"] = static_cast<double>(frames.size());
}
BENCHMARK(BM_ReceiveLubyTransferByDecoder)
    ->Args({8000, 0})
    ->Args({8000, 1})
    ->Args({148920, 0})
    ->Args({148920, 1})
    ->Unit(benchmark::kMillisecond);

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

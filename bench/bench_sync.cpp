// The synchronous API's costs a host meets: how long framesNeeded takes to follow a receiver (it
// follows the index sets of several seeds), and a receiver reading frame texts to a verified record.
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/sync/Encoding.hpp>
#include <vexaqr/sync/Receiver.hpp>

#include <benchmark/benchmark.h>

namespace {

using namespace vexaqr;

void FramesNeededLuby(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::uint64_t frames = 0;
    for (auto _ : state) {
        frames = framesNeeded(size, VxaAlgorithm::luby, 0.0);
        benchmark::DoNotOptimize(frames);
    }
    state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(FramesNeededLuby)->Arg(3000)->Arg(100000)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Frame texts of a signed record fed until it is received and verified (no picture detection).
void ReceiveSignedRecordFromFrameTexts(benchmark::State& state) {
    const auto pair = RsaKey::generatePair(1024);
    VXADataWriter::Input input;
    input.content = Bytes(static_cast<std::size_t>(state.range(0)), 'x');
    input.cipherMethod = CipherMethod::RSA1024_AES128_SHA256;
    input.partnerPrivateKey = pair->privateKey;
    EncodeOptions options;
    options.seed = 2024;
    const auto frames = encodeFrames(*VXADataWriter::write(input), options);
    const Keys keys{pair->publicKey, nullptr, nullptr};
    for (auto _ : state) {
        Receiver receiver(keys);
        bool verified = false;
        for (const auto& text : *frames) {
            if (auto received = receiver.feedFrameText(text)) {
                verified = received->ok();
                break;
            }
        }
        if (!verified)
            state.SkipWithError("the record was not received");
    }
}
BENCHMARK(ReceiveSignedRecordFromFrameTexts)->Arg(3000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace

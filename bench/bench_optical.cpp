// The optical channel: a presenter's screen filmed by a simulated phone camera (30 pictures/s, 1/60 s
// exposure, 1280 × 720, the symbol at 60% of the height) under clean, mild and harsh conditions. Every
// picture goes through the real detector, scanner and frame reader.
//
// BM_Detection: the share of single-frame pictures the detector reads, and its CPU per picture.
// BM_Transfer: whole transfers; goodput is record bytes per second of screen time, set against the physical
// limit of 584 payload bytes × 20 frames per second. Each iteration is one transfer with its own seed.
//
// The 100 KB rows, the long detection counts and 20 transfers per smaller row (instead of 4) take minutes:
// set VEXAQR_BENCH_LONG=1 to run them.
#include "codec/pictures/QrDetector.hpp"

#include "support/OpticalTransfer.hpp"
#include "support/ScannerDoubles.hpp"

#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/payload/VXADataWriter.hpp>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <utility>

namespace {

using namespace vexaqr;
using namespace vexaqr::test;

constexpr double kPhysicalLimit = 584.0 * 20.0; // payload bytes per second of screen time

bool longRuns() {
    const char* value = std::getenv("VEXAQR_BENCH_LONG");
    return value && std::string(value) == "1";
}

OpticalConditions conditionsNamed(int index) {
    switch (index) {
    case 0:
        return OpticalConditions::clean();
    case 1: {
        auto square = OpticalConditions::clean();
        square.name = "clean-square"; // no tilt, no roll: the axis-aligned case
        return square;
    }
    case 2: {
        auto rolled = OpticalConditions::clean();
        rolled.name = "clean-rolled";
        rolled.maxRoll = 180.0;
        rolled.maxTilt = 10.0;
        return rolled;
    }
    case 3: {
        auto blur = OpticalConditions::clean();
        blur.name = "blur2";
        blur.blurSigma = 2.0;
        blur.maxRoll = 10.0;
        return blur;
    }
    case 4:
        return OpticalConditions::mild();
    default:
        return OpticalConditions::harsh();
    }
}

// The first frame of a luby stream with the largest frames `version` holds, as base-45 text.
std::string frameText(std::uint32_t seed, int version) {
    Bytes data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + seed);
    }
    auto generator =
        VexaQRGenerator::make(data, VxaAlgorithm::luby, seed, QrSymbolCapacity::largestFrames(version)->frameSize())
            .value();
    return Base45Converter::base45EncodedString(generator->nextQRContent());
}

// The picture of one frame as the presenter draws it at `version` on a 600-pixel canvas.
Picture presentedFrame(const std::string& text, int version) {
    Picture canvas(600, 600);
    QrRenderer::draw(*QrRenderer::render(text, version), canvas);
    return canvas;
}

// Arguments: conditions, pictures, symbol version, camera height (16:9).
void BM_Detection(benchmark::State& state) {
    auto conditions = conditionsNamed(static_cast<int>(state.range(0)));
    const int version = static_cast<int>(state.range(2));
    conditions.height = static_cast<int>(state.range(3));
    conditions.width = conditions.height * 16 / 9;
    state.SetLabel(conditions.name + " v" + std::to_string(version) + " " + std::to_string(conditions.width) + "x" +
                   std::to_string(conditions.height));
    CameraSimulation camera(conditions, CameraTiming{}, 1);
    const int pictures = static_cast<int>(state.range(1));
    std::uint64_t read = 0, taken = 0;
    double cpu = 0.0;
    for (auto _ : state) {
        for (int i = 0; i < pictures; ++i) {
            const auto text = frameText(static_cast<std::uint32_t>(taken + 1), version);
            const Picture frame = presentedFrame(text, version);
            const Picture picture = camera.photograph({{&frame, 1.0}}, camera.randomPose());
            const double before = threadCpuSeconds();
            const auto found = QrDetector::detect(picture);
            cpu += threadCpuSeconds() - before;
            read += found.size() == 1 && found.front() == text ? 1 : 0;
            ++taken;
        }
    }
    state.counters["pictures"] = static_cast<double>(taken);
    state.counters["read%"] = 100.0 * static_cast<double>(read) / static_cast<double>(taken);
    state.counters["cpu_ms_per_picture"] = 1000.0 * cpu / static_cast<double>(taken);
}

// Arguments: content kilobytes, luby (1) or cyclic (0), conditions (4 mild, 5 harsh), decoder (0 peeling, 1 ML).
void BM_Transfer(benchmark::State& state) {
    const Bytes content = test::patternedContent(static_cast<std::size_t>(state.range(0)) * 1000);
    OpticalTransferSetup setup;
    setup.record = test::sealedWithTestKeys(content);
    setup.luby = state.range(1) == 1;
    setup.conditions = conditionsNamed(static_cast<int>(state.range(2)));
    setup.decoder = state.range(3) == 1 ? LTDecoderKind::maximumLikelihood : LTDecoderKind::peeling;
    setup.keys = test::testKeys();
    setup.screenSecondsLimit = 5.0 + 3.0 * static_cast<double>(setup.record.size()) / kPhysicalLimit;
    state.SetLabel(std::string(setup.luby ? "luby " : "cyclic ") + std::string(ltDecoderKindName(setup.decoder)) + " " +
                   setup.conditions.name);

    std::uint64_t transfers = 0, completed = 0, pictures = 0, read = 0;
    double screenSeconds = 0.0, detectionCpu = 0.0;
    for (auto _ : state) {
        setup.seed = static_cast<std::uint32_t>(transfers + 1);
        setup.timing.firstPictureMs = 33.3 * static_cast<double>(setup.seed % 7) / 7.0;
        const auto result = runOpticalTransfer(setup);
        ++transfers;
        const bool intact = result.record && result.record->isValid() && result.record->actualVxaData == content;
        completed += intact ? 1 : 0;
        screenSeconds += result.screenSeconds;
        pictures += result.pictures;
        read += result.picturesRead;
        detectionCpu += result.detectionCpuSeconds;
    }
    const double goodput = static_cast<double>(setup.record.size() * transfers) / screenSeconds;
    state.counters["bytes"] = static_cast<double>(setup.record.size());
    state.counters["goodput_Bps"] = goodput;
    state.counters["limit%"] = 100.0 * goodput / kPhysicalLimit;
    state.counters["read%"] = 100.0 * static_cast<double>(read) / static_cast<double>(pictures);
    state.counters["cpu_ms_per_picture"] = 1000.0 * detectionCpu / static_cast<double>(pictures);
    state.counters["completed%"] = 100.0 * static_cast<double>(completed) / static_cast<double>(transfers);
}

/// 100 KB transfers are long, so they get two; the small rows get enough for a stable mean in long runs.
int transfersPerRow(int kilobytes, bool longRun) {
    if (kilobytes == 100) {
        return 2;
    }
    return longRun ? 20 : 4;
}

void registerBenchmarks() {
    const bool all = longRuns();
    const int detectionPictures = all ? 1000 : 100;
    for (int conditions = 0; conditions <= 5; ++conditions) {
        benchmark::RegisterBenchmark("BM_Detection", BM_Detection)
            ->Args({conditions, detectionPictures, 17, 720})
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    // The versions recommended for each camera size, and the harsh view of version 17.
    for (const auto& [version, height] : {std::pair{25, 720}, std::pair{30, 1080}}) {
        for (int conditions : {4, 5}) {
            benchmark::RegisterBenchmark("BM_Detection", BM_Detection)
                ->Args({conditions, detectionPictures, version, height})
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (int kilobytes : {1, 10, 100}) {
        if (kilobytes == 100 && !all) {
            continue;
        }
        for (int luby : {1, 0}) {
            for (int conditions : {4, 5}) {
                for (int decoder : {0, 1}) {
                    if (luby == 0 && decoder == 1) {
                        continue; // cyclic transfers never reach the LT decoder
                    }
                    benchmark::RegisterBenchmark("BM_Transfer", BM_Transfer)
                        ->Args({kilobytes, luby, conditions, decoder})
                        ->Iterations(transfersPerRow(kilobytes, all))
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

const bool kRegistered = (registerBenchmarks(), true);

} // namespace

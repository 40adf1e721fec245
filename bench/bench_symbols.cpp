// Larger symbols, and several per picture. BM_DetectLargestFrameSymbol: what detecting the largest luby frame of a QR
// version costs per camera picture at the picture sizes cameras deliver (the symbol at 90% of the height, box blur and
// noise), and that frame's goodput ceiling at the presenter's 20 frames per second. BM_SymbolTransfer:
// whole transfers through the simulated camera at each version (see there). BM_GridTransfer: 1 MB transfers
// with several symbols per picture at 1920×1080.
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/pictures/SymbolGrid.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include "support/OpticalTransfer.hpp"
#include "support/ScannerDoubles.hpp"
#include "views/SyntheticCameraPicture.hpp"

#include <vexaqr/payload/VXADataWriter.hpp>

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace vexaqr;
using namespace vexaqr::test;

constexpr double kPresenterFramesPerSecond = 20.0;

Bytes sampleData(std::size_t length) {
    std::mt19937 random(5);
    Bytes data(length);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    return data;
}

// The first largest luby frame of `version`, as base-45 text.
std::string largestLubyFrameText(int version) {
    VexaQRFrameSize size;
    size.ltPacketsPerFrame = QrSymbolCapacity::largestFrames(version)->ltPacketsPerFrame;
    auto made = VexaQRGenerator::make(sampleData(100000), VxaAlgorithm::luby, 1, size);
    return Base45Converter::base45EncodedString(made.value()->nextQRContent());
}

Picture cameraView(const QrSymbol& symbol, int width, int height) {
    Picture scene(width, height, 150);
    const int side = height * 9 / 10;
    Picture drawn(side, side);
    QrRenderer::draw(symbol, drawn);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            scene.at((width - side) / 2 + x, (height - side) / 2 + y) = drawn.at(x, y) ? 215 : 35;
        }
    }
    Picture picture = test::blurred(scene);
    test::addNoise(picture, 8.0, 3);
    return picture;
}

// Arguments: version, picture height (width 16:9).
void BM_DetectLargestFrameSymbol(benchmark::State& state) {
    const int version = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::string text = largestLubyFrameText(version);
    const auto symbol = QrRenderer::render(text, version);
    const Picture picture = cameraView(*symbol, height * 16 / 9, height);
    std::int64_t read = 0;
    for (auto _ : state) {
        const auto found = QrDetector::detect(picture);
        read += found.size() == 1 && found[0] == text ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    const auto row = *QrSymbolCapacity::largestFrames(version);
    state.counters["packets"] = row.ltPacketsPerFrame;
    state.counters["pixelsPerModule"] = height * 0.9 / (symbol->size + 2 * QrRenderer::kQuietZone);
    state.counters["readRate"] = static_cast<double>(read) / static_cast<double>(state.iterations());
    state.counters["ceilingB/s"] = row.ltPacketsPerFrame * 8.0 * kPresenterFramesPerSecond;
}
BENCHMARK(BM_DetectLargestFrameSymbol)
    ->ArgsProduct({{17, 20, 25, 30, 35, 40}, {720, 1080}})
    ->ArgNames({"version", "height"})
    ->Unit(benchmark::kMillisecond);

// Whole 100 KB luby transfers with the ML decoder through the simulated camera at 30 pictures/s: every
// symbol at one version carrying that version's largest frames. Goodput is record bytes per second of
// screen time. The screen draws 4 pixels per module so that the camera, not the screen, limits the view.
// Arguments: version, camera height (16:9), conditions (0 default, 1 harsh).
void BM_SymbolTransfer(benchmark::State& state) {
    const int version = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto row = *QrSymbolCapacity::largestFrames(version);
    const Bytes content = test::patternedContent(100000);
    OpticalTransferSetup setup;
    setup.record = test::sealedWithTestKeys(content);
    setup.decoder = LTDecoderKind::maximumLikelihood;
    setup.conditions = state.range(2) == 0 ? OpticalConditions::mild() : OpticalConditions::harsh();
    setup.conditions.width = height * 16 / 9;
    setup.conditions.height = height;
    setup.timing.picturesPerSecond = 30.0;
    setup.keys = test::testKeys();
    setup.canvasWidth = setup.canvasHeight = (17 + 4 * version + 2 * QrRenderer::kQuietZone) * 4;
    const double ceiling = row.ltPacketsPerFrame * 8.0 * kPresenterFramesPerSecond;
    setup.screenSecondsLimit = 5.0 + 3.0 * static_cast<double>(setup.record.size()) / ceiling;
    state.SetLabel("v" + std::to_string(version) + " " + std::to_string(setup.conditions.width) + "x" +
                   std::to_string(height) + " " + (state.range(2) == 0 ? "default" : "harsh"));

    std::uint64_t transfers = 0, completed = 0, pictures = 0, read = 0;
    double screenSeconds = 0.0, detectionCpu = 0.0;
    for (auto _ : state) {
        setup.seed = static_cast<std::uint32_t>(transfers + 1);
        setup.timing.firstPictureMs = 33.3 * static_cast<double>(setup.seed % 7) / 7.0;
        setup.start = [&setup, &row, version, &state](VXAPresenterView& view) {
            view.setFrameSize(row.frameSize());
            view.setSymbolVersion(version);
            view.setGeneratorSeed(setup.seed);
            if (!view.presentVexaQr(setup.record, true, 0.0))
                state.SkipWithError("the record cannot be presented");
        };
        const auto result = runOpticalTransfer(setup);
        ++transfers;
        const bool intact = result.record && result.record->isValid() && result.record->actualVxaData == content;
        completed += intact ? 1 : 0;
        // A transfer that did not finish counts its whole screen time and no bytes.
        screenSeconds += result.screenSeconds;
        pictures += result.pictures;
        read += result.picturesRead;
        detectionCpu += result.detectionCpuSeconds;
    }
    state.counters["packets"] = row.ltPacketsPerFrame;
    state.counters["goodput_Bps"] = static_cast<double>(setup.record.size() * completed) / screenSeconds;
    state.counters["ceiling_Bps"] = ceiling;
    state.counters["read%"] = 100.0 * static_cast<double>(read) / static_cast<double>(pictures);
    state.counters["cpu_ms_per_picture"] = 1000.0 * detectionCpu / static_cast<double>(pictures);
    state.counters["completed%"] = 100.0 * static_cast<double>(completed) / static_cast<double>(transfers);
}
BENCHMARK(BM_SymbolTransfer)
    ->ArgsProduct({{17, 20, 25, 30, 35, 40}, {720, 1080}, {0, 1}})
    ->ArgNames({"version", "height", "harsh"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Whole 1 MB luby transfers with the ML decoder at 1920×1080, 30 pictures/s, the presenter drawing a grid of
// symbols every 50 ms on a screen that fills 90% of the picture (4 pixels per module on the screen). Goodput is
// record bytes per second of screen time; "symbols read" is the share of the symbols shown that the detector
// read, pictures together. Arguments: symbols per picture, version, conditions (0 mild, 1 harsh).
void BM_GridTransfer(benchmark::State& state) {
    const int symbols = static_cast<int>(state.range(0));
    const int version = static_cast<int>(state.range(1));
    const auto row = *QrSymbolCapacity::largestFrames(version);
    const auto grid = *SymbolGrid::fitting(symbols, 16, 9);
    const int cellSide = (17 + 4 * version + 2 * QrRenderer::kQuietZone) * 4;
    const Bytes content = test::patternedContent(1000000);
    OpticalTransferSetup setup;
    setup.record = test::sealedWithTestKeys(content);
    setup.decoder = LTDecoderKind::maximumLikelihood;
    setup.conditions = state.range(2) == 0 ? OpticalConditions::mild() : OpticalConditions::harsh();
    setup.conditions.width = 1920;
    setup.conditions.height = 1080;
    setup.conditions.symbolShare = 0.9;
    setup.keys = test::testKeys();
    setup.canvasWidth = grid.columns() * cellSide;
    setup.canvasHeight = grid.rows() * cellSide;
    const double ceiling = symbols * row.ltPacketsPerFrame * 8.0 * kPresenterFramesPerSecond;
    setup.screenSecondsLimit = 5.0 + 3.0 * static_cast<double>(setup.record.size()) / ceiling;
    state.SetLabel(std::to_string(symbols) + " x v" + std::to_string(version) + " " +
                   (state.range(2) == 0 ? "mild" : "harsh"));

    std::uint64_t completed = 0, pictures = 0, symbolsRead = 0;
    double screenSeconds = 0.0, detectionCpu = 0.0;
    for (auto _ : state) {
        setup.start = [&setup, &row, version, symbols, &state](VXAPresenterView& view) {
            view.setFrameSize(row.frameSize());
            view.setSymbolVersion(version);
            view.setSymbolsPerPicture(symbols);
            view.setGeneratorSeed(setup.seed);
            if (!view.presentVexaQr(setup.record, true, 0.0))
                state.SkipWithError("the record cannot be presented");
        };
        const auto result = runOpticalTransfer(setup);
        const bool intact = result.record && result.record->isValid() && result.record->actualVxaData == content;
        completed += intact ? 1 : 0;
        screenSeconds += result.screenSeconds;
        pictures += result.pictures;
        symbolsRead += result.symbolsRead;
        detectionCpu += result.detectionCpuSeconds;
    }
    state.counters["goodput_Bps"] = static_cast<double>(setup.record.size() * completed) / screenSeconds;
    state.counters["ceiling_Bps"] = ceiling;
    state.counters["symbols_read%"] =
        100.0 * static_cast<double>(symbolsRead) / static_cast<double>(pictures * symbols);
    state.counters["cpu_ms_per_picture"] = 1000.0 * detectionCpu / static_cast<double>(pictures);
    state.counters["pictures"] = static_cast<double>(pictures);
}
BENCHMARK(BM_GridTransfer)
    ->Args({1, 30, 0})
    ->Args({4, 25, 0})
    ->Args({4, 30, 0})
    ->Args({6, 20, 0})
    ->Args({6, 25, 0})
    ->Args({6, 25, 1})
    ->ArgNames({"symbols", "version", "harsh"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

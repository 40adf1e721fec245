// The presenter's drawing pass (next LT frame, base-45 text, QR symbol, nearest-neighbour stretch onto
// the canvas), and its parts, for a sender showing 20 frames per second.
#include "codec/pictures/QrRenderer.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/views/Canvas.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>

#include <benchmark/benchmark.h>

namespace {

using namespace vexaqr;

constexpr int kSide = 372;

class NullCanvas final : public Canvas {
public:
    int width() const override { return kSide; }
    int height() const override { return kSide; }
    bool draw(const Picture& picture, std::chrono::milliseconds) override {
        benchmark::DoNotOptimize(picture.pixels.data());
        return true;
    }
};

Bytes sampleData(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    return data;
}

void BM_DrawingPass(benchmark::State& state) {
    auto view =
        std::make_shared<VXAPresenterView>(std::make_shared<NullCanvas>(), std::make_shared<VirtualTimeQueue>());
    if (!view->presentVexaQr(sampleData(static_cast<std::size_t>(state.range(0))), true, 0.0)) {
        state.SkipWithError("nothing to present");
        return;
    }
    for (auto _ : state) {
        view->drawLayer();
    }
    if (view->framesDrawn() < static_cast<std::uint64_t>(state.iterations())) {
        state.SkipWithError("a pass drew nothing");
    }
}
BENCHMARK(BM_DrawingPass)->Arg(4096)->Arg(65536)->ArgName("bytes")->Unit(benchmark::kMicrosecond);

void BM_NextLtFrame(benchmark::State& state) {
    auto generator = VexaQRGenerator::make(sampleData(65536), VxaAlgorithm::luby, 1).value();
    for (auto _ : state) {
        benchmark::DoNotOptimize(generator->nextQRContent());
    }
}
BENCHMARK(BM_NextLtFrame)->Unit(benchmark::kMicrosecond);

void BM_Base45Frame(benchmark::State& state) {
    const Bytes frame = VexaQRGenerator::make(sampleData(65536), VxaAlgorithm::luby, 1).value()->nextQRContent();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Base45Converter::base45EncodedString(frame));
    }
}
BENCHMARK(BM_Base45Frame)->Unit(benchmark::kMicrosecond);

void BM_RenderSymbol(benchmark::State& state) {
    const Bytes frame = VexaQRGenerator::make(sampleData(65536), VxaAlgorithm::luby, 1).value()->nextQRContent();
    const std::string text = Base45Converter::base45EncodedString(frame);
    for (auto _ : state) {
        benchmark::DoNotOptimize(QrRenderer::render(text));
    }
}
BENCHMARK(BM_RenderSymbol)->Unit(benchmark::kMicrosecond);

void BM_StretchSymbol(benchmark::State& state) {
    const auto symbol = QrRenderer::render(std::string(870, 'A'));
    Picture surface(kSide, kSide);
    for (auto _ : state) {
        QrRenderer::draw(*symbol, surface);
        benchmark::DoNotOptimize(surface.pixels.data());
    }
}
BENCHMARK(BM_StretchSymbol)->Unit(benchmark::kMicrosecond);

} // namespace

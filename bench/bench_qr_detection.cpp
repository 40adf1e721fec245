// What the scanner pays per camera picture: finding and decoding the QR symbol of one frame in a
// 1280 × 720 grey picture with blur and noise, and searching a picture that holds no symbol.
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"

#include "views/SyntheticCameraPicture.hpp"
#include "views/ViewsTestSupport.hpp"

#include <benchmark/benchmark.h>

namespace {

using namespace vexaqr;

void BM_DetectFrameSymbol(benchmark::State& state) {
    const auto text = test::alphanumericText(870, 1); // an LT frame's text: version 17
    const auto picture = test::cameraPicture({*QrRenderer::render(text)}, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto found = QrDetector::detect(picture);
        if (found.size() != 1 || found[0] != text) {
            state.SkipWithError("symbol not read");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_DetectFrameSymbol)->Arg(4)->Arg(5)->Arg(7)->ArgName("pixelsPerModule")->Unit(benchmark::kMillisecond);

void BM_DetectNoSymbol(benchmark::State& state) {
    const auto picture = test::cameraPicture({});
    for (auto _ : state) {
        benchmark::DoNotOptimize(QrDetector::detect(picture));
    }
}
BENCHMARK(BM_DetectNoSymbol)->Unit(benchmark::kMillisecond);

} // namespace

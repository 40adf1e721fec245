#include "support/OpticalTransfer.hpp"

#include "support/ScannerDoubles.hpp"

#include "codec/pictures/QrDetector.hpp"
#include <vexaqr/views/VXAScannerView.hpp>

#include <ctime>

namespace vexaqr::test {

namespace {

PresenterScreen::Start defaultStart(const OpticalTransferSetup& setup) {
    return [&setup](VXAPresenterView& view) {
        view.setGeneratorSeed(setup.seed);
        // A record the view refuses shows no frame, and the transfer reports no record.
        (void)view.presentVexaQr(setup.record, setup.luby, 0.0);
    };
}

} // namespace

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

OpticalTransferResult runOpticalTransfer(const OpticalTransferSetup& setup) {
    OpticalTransferResult result;
    PresenterScreen screen(setup.canvasWidth, setup.canvasHeight, setup.start ? setup.start : defaultStart(setup));
    CameraSimulation camera(setup.conditions, setup.timing, setup.seed);

    auto source = std::make_shared<ScriptedCamera>();
    auto scanner = std::make_shared<VXAScannerView>([source] { return source; }, setup.keys);
    scanner->setLTDecoder(setup.decoder);
    scanner->startScanning(
        [&](std::optional<VXAData> record) {
            result.completed = true;
            result.record = std::move(record);
        },
        nullptr);

    const double exposureMs = setup.timing.exposureSeconds * 1000.0;
    const double limitMs = setup.screenSecondsLimit * 1000.0;
    for (std::uint64_t index = 0; !result.completed; ++index) {
        const double start = camera.exposureStartMs(index);
        if (start + exposureMs > limitMs) {
            result.screenSeconds = setup.screenSecondsLimit;
            break;
        }
        const Picture picture = camera.takePicture(screen, index);
        const double before = threadCpuSeconds();
        const auto symbols = QrDetector::detect(picture);
        result.detectionCpuSeconds += threadCpuSeconds() - before;
        ++result.pictures;
        result.picturesRead += symbols.size() == 1 ? 1 : 0;
        result.symbolsRead += symbols.size();
        source->show(symbols);
        result.screenSeconds = (start + exposureMs) / 1000.0;
    }
    result.framesShown = screen.framesShown();
    return result;
}

Bytes patternedContent(std::size_t length) {
    Bytes content(length);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return content;
}

} // namespace vexaqr::test

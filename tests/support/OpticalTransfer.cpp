#include "support/OpticalTransfer.hpp"

#include <vexaqr/views/CameraSource.hpp>
#include <vexaqr/views/QrDetector.hpp>
#include <vexaqr/views/VXAScannerView.hpp>

#include <ctime>

namespace vexaqr::test {

namespace {

// The scanner's camera: reports whatever the detector found in the simulated picture.
class DetectorCamera final : public CameraSource {
public:
    void setReportHandler(Report report) override { _report = std::move(report); }
    bool isRunning() const override { return _running; }
    void startRunning() override { _running = true; }
    void stopRunning() override { _running = false; }

    void report(const std::vector<std::string>& symbols) {
        if (_running && _report) {
            _report(symbols);
        }
    }

private:
    Report _report;
    bool _running = false;
};

PresenterScreen::Start defaultStart(const OpticalTransferSetup& setup) {
    return [&setup](VXAPresenterView& view) {
        view.setGeneratorSeed(setup.seed);
        view.presentVexaQr(setup.record, setup.luby, 0.0);
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
    PresenterScreen screen(setup.canvasSide, setup.start ? setup.start : defaultStart(setup));
    CameraSimulation camera(setup.conditions, setup.timing, setup.seed);

    auto source = std::make_shared<DetectorCamera>();
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
        source->report(symbols);
        result.screenSeconds = (start + exposureMs) / 1000.0;
    }
    result.framesShown = screen.framesShown();
    return result;
}

} // namespace vexaqr::test

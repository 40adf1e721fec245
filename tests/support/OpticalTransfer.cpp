#include "support/OpticalTransfer.hpp"

#include "support/TestKeys.hpp"

#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/views/CameraSource.hpp>
#include <vexaqr/views/QrDetector.hpp>
#include <vexaqr/views/VXAScannerView.hpp>

#include <ctime>

namespace vexaqr::test {

namespace {

class KeysOnly final : public AppDataServiceProtocol {
public:
    std::optional<Uuid> createNewAppUniqueId() override { return Uuid::random(); }
    std::optional<Uuid> getAppUniqueId() override { return std::nullopt; }
    std::optional<std::int64_t> getVexaQrUserId() override { return std::nullopt; }
    void save(std::int64_t) override {}
    std::optional<std::string> getUserEmail() override { return std::nullopt; }
    void save(const std::string&) override {}
    VexaQrSDKRegistrationState getRegistrationState() override { return VexaQrSDKRegistrationState::initial; }
    void save(VexaQrSDKRegistrationState) override {}
    KeyHandle getPartnerPublicKey() override { return test::publicKey("partner", 1024); }
    KeyHandle getPartnerPrivateKey() override { return test::privateKey("partner", 1024); }
    KeyHandle getClientPublicKey() override { return test::publicKey("app", 1024); }
    KeyHandle getClientPrivateKey() override { return test::privateKey("app", 1024); }
    void resetRegistration() override {}
};

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

Bytes patternedContent(std::size_t length) {
    Bytes content(length);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return content;
}

Bytes sealedWithTestKeys(const Bytes& content) {
    VXADataWriter::Input input;
    input.content = content;
    input.contentType = ContentType::JSON;
    input.vxaType = VxaType::SECURED;
    input.cipherMethod = CipherMethod::RSA1024_AES128_SHA256;
    input.issuerId = *Uuid::fromString("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    input.timestamp = 1700000000;
    input.partnerPrivateKey = test::privateKey("partner", 1024);
    input.keyBlockPublicKey = test::publicKey("app", 1024);
    return VXADataWriter::write(input).value_or(Bytes());
}

std::shared_ptr<AppDataServiceProtocol> testKeysOnly() {
    return std::make_shared<KeysOnly>();
}

} // namespace vexaqr::test

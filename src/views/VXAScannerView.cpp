#include <vexaqr/views/VXAScannerView.hpp>

#include <vexaqr/platform/LogManager.hpp>
#include <vexaqr/transport/Base45Converter.hpp>
#include <vexaqr/transport/VexaQRDecoderImpl.hpp>

namespace vexaqr {

VXAScannerView::VXAScannerView(CameraProvider camera) : _camera(std::move(camera)) {}

void VXAScannerView::startScanning(Completion completion, Process process) {
    _completion = std::move(completion);
    _process = std::move(process);
    initDecoder();
    initCapture();
    startScanning();
}

void VXAScannerView::startScanning() {
    if (_captureSession && !_captureSession->isRunning()) {
        _captureSession->startRunning();
    }
}

void VXAScannerView::stopScanning() {
    if (_captureSession && _captureSession->isRunning()) {
        _captureSession->stopRunning();
    }
}

void VXAScannerView::initDecoder() {
    _decoder = std::make_shared<VexaQRDecoderImpl>(*this);
}

void VXAScannerView::initCapture() {
    if (_captureSession) {
        _captureSession->stopRunning();
    }
    _captureSession = _camera ? _camera() : nullptr;
    if (!_captureSession) {
        return;
    }
    _captureSession->setReportHandler([weakSelf = weak_from_this()](const std::vector<std::string>& symbols) {
        if (auto self = weakSelf.lock()) {
            self->captureOutput(symbols);
        }
    });
}

void VXAScannerView::captureOutput(const std::vector<std::string>& symbols) {
    if (symbols.size() != 1 || symbols.front().empty() || !_decoder) {
        return;
    }
    // Held here so that a host restarting the scan from a callback cannot free the reader mid-frame.
    const auto decoder = _decoder;
    decoder->scannedQR(Base45Converter::dataFromBase45String(symbols.front()));
}

void VXAScannerView::vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm algorithm) {
    if (_process) {
        _process(percent, algorithm);
    }
}

void VXAScannerView::vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) {
    const auto service = appDataService();
    const auto appRsaPrivateKey = service->getClientPrivateKey();
    const auto partnerRsaPublicKey = service->getPartnerPublicKey();
    const auto partnerRsaPrivateKey = service->getPartnerPrivateKey();
    std::optional<VXAData> record;
    if (partnerRsaPublicKey) {
        record.emplace(decodedData, appRsaPrivateKey, partnerRsaPublicKey, partnerRsaPrivateKey);
    } else {
        LogManager::standard().log("VXAScannerView: a transfer completed, but no partner public key is stored to "
                                   "verify it; no record is made");
    }
    if (_completion) {
        _completion(std::move(record));
    }
}

std::shared_ptr<AppDataServiceProtocol> VXAScannerView::appDataService() {
    if (!_appDataService) {
        _appDataService = std::make_shared<AppDataService>();
    }
    return _appDataService;
}

} // namespace vexaqr

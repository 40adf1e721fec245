#include <vexaqr/views/VXAScannerView.hpp>

#include "account/sdk/AppDataService.hpp"
#include "codec/platform/LogManager.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderDelegate.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <algorithm>

namespace vexaqr {

class VXAScannerView::Reader final : public VexaQRDecoderDelegate {
public:
    Reader(VXAScannerView& view, LTDecoderKind ltDecoder) : _view(view), _decoder(*this, ltDecoder) {}

    VexaQRDecoderImpl& decoder() { return _decoder; }
    const VexaQRDecoderImpl& decoder() const { return _decoder; }

    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override { _view.transferCompleted(decodedData); }
    void vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm algorithm) override {
        _view.transferProgressed(percent, algorithm);
    }

private:
    VXAScannerView& _view;
    VexaQRDecoderImpl _decoder;
};

VXAScannerView::VXAScannerView(CameraProvider camera, std::shared_ptr<AppDataServiceProtocol> appDataService)
    : _camera(std::move(camera)), _appDataService(std::move(appDataService)) {}

VXAScannerView::~VXAScannerView() = default;

double VXAScannerView::estimatedProgress() const {
    return _reader ? _reader->decoder().estimatedProgress() : 0.0;
}

std::uint64_t VXAScannerView::framesFed() const {
    return _reader ? _reader->decoder().framesFed() : 0;
}

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
    _reader = std::make_shared<Reader>(*this, _ltDecoder);
    _picturesSeen = 0;
    _previousSymbols.clear();
}

void VXAScannerView::initCapture() {
    if (_captureSession) {
        _captureSession->stopRunning();
        _captureSession->setReportHandler(nullptr); // a camera the host keeps using must not reach this view
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
    ++_picturesSeen;
    // Held here so that a host restarting the scan from a callback cannot free the reader mid-frame.
    const auto reader = _reader;
    if (!reader) {
        return;
    }
    _completedInPicture = false;
    std::vector<std::string> fed;
    for (const auto& symbol : symbols) {
        if (_completedInPicture || _reader != reader) {
            break; // the rest waits for the next picture, which shows it again
        }
        if (symbol.empty() || std::find(fed.begin(), fed.end(), symbol) != fed.end()) {
            continue;
        }
        fed.push_back(symbol);
        if (std::find(_previousSymbols.begin(), _previousSymbols.end(), symbol) == _previousSymbols.end()) {
            reader->decoder().scannedQR(Base45Converter::dataFromBase45String(symbol));
        }
    }
    _previousSymbols = std::move(fed);
}

void VXAScannerView::transferProgressed(double percent, VxaAlgorithm algorithm) {
    // A copy: the host may call startScanning from the callback, which replaces _process mid-call.
    const auto process = _process;
    if (process) {
        process(percent, algorithm);
    }
}

void VXAScannerView::transferCompleted(const Bytes& decodedData) {
    _completedInPicture = true;
    const auto& service = _appDataService;
    const KeyHandle appRsaPrivateKey = service ? service->getClientPrivateKey() : nullptr;
    const KeyHandle partnerRsaPublicKey = service ? service->getPartnerPublicKey() : nullptr;
    const KeyHandle partnerRsaPrivateKey = service ? service->getPartnerPrivateKey() : nullptr;
    std::optional<VXAData> record;
    if (partnerRsaPublicKey) {
        record.emplace(decodedData, appRsaPrivateKey, partnerRsaPublicKey, partnerRsaPrivateKey);
    } else {
        LogManager::standard().log("VXAScannerView: a transfer completed, but no partner public key is stored to "
                                   "verify it; no record is made");
    }
    // A copy: the host may call startScanning from the callback, which replaces _completion mid-call.
    const auto completion = _completion;
    if (completion) {
        completion(std::move(record));
    }
}

} // namespace vexaqr

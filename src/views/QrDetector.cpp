#include <vexaqr/views/QrDetector.hpp>

#include <vexaqr/platform/LogManager.hpp>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <exception>

namespace vexaqr {

namespace {

ZXing::DecodeHints qrHints() {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryRotate(false); // QR finder patterns are found in any orientation anyway
    hints.setTryHarder(false);
    hints.setTryDownscale(false);
    return hints;
}

} // namespace

std::vector<std::string> QrDetector::detect(const Picture& picture) {
    std::vector<std::string> texts;
    if (picture.empty()) {
        return texts;
    }
    try {
        static const ZXing::DecodeHints hints = qrHints();
        const ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
        for (const auto& result : ZXing::ReadBarcodes(view, hints)) {
            if (result.isValid()) {
                texts.push_back(result.text());
            }
        }
    } catch (const std::exception& error) { // the reader may throw on allocation failure
        LogManager::standard().log(std::string("QR detection failed: ") + error.what());
    }
    return texts;
}

} // namespace vexaqr

#include <vexaqr/views/QrDetector.hpp>

#include <vexaqr/platform/LogManager.hpp>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

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

// Unsharp masking: the picture smoothed over 3 × 3 pixels, plus kSharpenGain times its difference from
// the 7 × 7 mean. Restores the module edges that a soft lens or a shaking hand wash out, without raising
// the sensor noise as a plain sharpening would. Box sums in 16 bits: 49 × 255 fits.
constexpr int kWideRadius = 3;
constexpr int kSharpenGain = 3;

// Horizontal 3-wide and 7-wide sums of one row; the outermost kWideRadius pixels are left at 0.
void rowSums(const std::uint8_t* in, int width, std::uint16_t* narrow, std::uint16_t* wide) {
    for (int x = kWideRadius; x < width - kWideRadius; ++x) {
        const int three = in[x - 1] + in[x] + in[x + 1];
        narrow[x] = static_cast<std::uint16_t>(three);
        wide[x] = static_cast<std::uint16_t>(three + in[x - 3] + in[x - 2] + in[x + 2] + in[x + 3]);
    }
}

// Buffers kept per thread between calls: fresh multi-megabyte buffers for every picture cost more in page
// faults than the sharpening itself.
struct SharpeningScratch {
    std::vector<std::uint16_t> narrow;
    std::vector<std::uint16_t> wide;
    Picture result;
};

// The sharpened picture, in `scratch.result` (valid until the thread's next call).
const Picture& sharpened(const Picture& picture, SharpeningScratch& scratch) {
    const int width = picture.width, height = picture.height;
    Picture& result = scratch.result;
    result.width = width;
    result.height = height;
    result.pixels.assign(picture.pixels.begin(), picture.pixels.end()); // the border stays as it was
    if (width <= 2 * kWideRadius || height <= 2 * kWideRadius) {
        return result;
    }
    const auto size = static_cast<std::size_t>(width);
    scratch.narrow.resize(picture.pixels.size());
    scratch.wide.resize(picture.pixels.size());
    std::uint16_t* narrow = scratch.narrow.data();
    std::uint16_t* wide = scratch.wide.data();
    for (int y = 0; y < height; ++y) {
        rowSums(&picture.pixels[y * size], width, &narrow[y * size], &wide[y * size]);
    }
    for (int y = kWideRadius; y < height - kWideRadius; ++y) {
        const std::uint16_t* n[3] = {&narrow[(y - 1) * size], &narrow[y * size], &narrow[(y + 1) * size]};
        const std::uint16_t* w[7];
        for (int k = 0; k < 7; ++k) {
            w[k] = &wide[(y - kWideRadius + k) * size];
        }
        std::uint8_t* out = &result.pixels[y * size];
        for (int x = kWideRadius; x < width - kWideRadius; ++x) {
            const int nine = n[0][x] + n[1][x] + n[2][x];
            const int fortyNine = w[0][x] + w[1][x] + w[2][x] + w[3][x] + w[4][x] + w[5][x] + w[6][x];
            // ×7282 >> 16 divides by 9, ×1337 >> 16 by 49, both within a rounding step.
            const int smooth = (nine * 7282) >> 16;
            const int mean = (fortyNine * 1337) >> 16;
            out[x] = static_cast<std::uint8_t>(std::clamp(smooth + kSharpenGain * (smooth - mean), 0, 255));
        }
    }
    return result;
}

std::vector<std::string> readSymbols(const Picture& picture) {
    static const ZXing::DecodeHints hints = qrHints();
    const ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    std::vector<std::string> texts;
    for (const auto& result : ZXing::ReadBarcodes(view, hints)) {
        if (result.isValid()) {
            texts.push_back(result.text());
        }
    }
    return texts;
}

} // namespace

std::vector<std::string> QrDetector::detect(const Picture& picture) {
    if (picture.empty()) {
        return {};
    }
    try {
        auto texts = readSymbols(picture);
        if (texts.empty()) {
            // Most pictures read at once; only a miss pays for the second look.
            thread_local SharpeningScratch scratch;
            texts = readSymbols(sharpened(picture, scratch));
        }
        return texts;
    } catch (const std::exception& error) { // the reader may throw on allocation failure
        LogManager::standard().log(std::string("QR detection failed: ") + error.what());
    }
    return {};
}

} // namespace vexaqr

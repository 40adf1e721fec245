#include "codec/pictures/QrDetector.hpp"

#include "codec/platform/LogManager.hpp"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

namespace vexaqr {

namespace {

ZXing::DecodeHints qrHints(ZXing::Binarizer binarizer) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setBinarizer(binarizer);
    hints.setTryRotate(false); // QR finder patterns are found in any orientation anyway
    hints.setTryHarder(false);
    hints.setTryDownscale(false);
    return hints;
}

// Unsharp masking: the picture smoothed over 3 × 3 pixels, plus a gain times its difference from the
// 7 × 7 mean. Restores the module edges that a soft lens or a shaking hand wash out, without raising the
// sensor noise as a plain sharpening would. The stronger gain reads some of the softest pictures that the
// usual one loses, and loses others, so it is a later look of its own.
constexpr int kWideRadius = 3;
constexpr int kSharpenGain = 3;
constexpr int kStrongSharpenGain = 5;

// Buffers kept per thread between calls: fresh buffers for every picture cost more in page faults than
// the sharpening itself.
struct SharpeningScratch {
    std::vector<std::uint16_t> columns3; // each column's sum over the 3 rows around the current one
    std::vector<std::uint16_t> columns7; // and over the 7 rows around it
    Picture result;
};

// Moves the running column sums one row down: `entering` joins, `leaving` drops out. 16 bits hold 7 × 255.
void slideColumns(std::uint16_t* sums, const std::uint8_t* entering, const std::uint8_t* leaving, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        sums[x] = static_cast<std::uint16_t>(sums[x] + entering[x] - leaving[x]);
    }
}

void addRows(std::uint16_t* sums, const std::uint8_t* first, int rows, std::size_t width) {
    for (int row = 0; row < rows; ++row) {
        for (std::size_t x = 0; x < width; ++x) {
            sums[x] = static_cast<std::uint16_t>(sums[x] + first[row * width + x]);
        }
    }
}

// One output row from the column sums. Everything stays in 16 bits so that the loop vectorises: 49 × 255
// fits, and so does the sharpened value before clamping; ×7282 >> 16 divides by 9, ×1337 >> 16 by 49,
// both within a rounding step.
void sharpenRow(const std::uint16_t* columns3, const std::uint16_t* columns7, std::int16_t gain, std::uint8_t* out,
                std::size_t width) {
    for (std::size_t x = kWideRadius; x < width - kWideRadius; ++x) {
        const auto nine = static_cast<std::uint16_t>(columns3[x - 1] + columns3[x] + columns3[x + 1]);
        const auto fortyNine =
            static_cast<std::uint16_t>(columns7[x - 3] + columns7[x - 2] + columns7[x - 1] + columns7[x] +
                                       columns7[x + 1] + columns7[x + 2] + columns7[x + 3]);
        const auto smooth = static_cast<std::int16_t>((static_cast<std::uint32_t>(nine) * 7282u) >> 16);
        const auto mean = static_cast<std::int16_t>((static_cast<std::uint32_t>(fortyNine) * 1337u) >> 16);
        const auto value = static_cast<std::int16_t>(smooth + gain * (smooth - mean));
        out[x] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

// The sharpened picture, in `scratch.result` (valid until the thread's next call). The outermost
// kWideRadius rows and columns stay as they were. The column sums slide down the picture, so each pixel is
// read a few times from cache instead of 49 times.
const Picture& sharpened(const Picture& picture, int gain, SharpeningScratch& scratch) {
    Picture& result = scratch.result;
    result.width = picture.width;
    result.height = picture.height;
    result.pixels.assign(picture.pixels.begin(), picture.pixels.end());
    if (picture.width <= 2 * kWideRadius || picture.height <= 2 * kWideRadius) {
        return result;
    }
    const auto width = static_cast<std::size_t>(picture.width);
    const std::uint8_t* rows = picture.pixels.data();
    scratch.columns3.assign(width, 0);
    scratch.columns7.assign(width, 0);
    std::uint16_t* columns3 = scratch.columns3.data();
    std::uint16_t* columns7 = scratch.columns7.data();
    addRows(columns3, rows + (kWideRadius - 1) * width, 3, width);
    addRows(columns7, rows, 7, width);
    for (int y = kWideRadius; y < picture.height - kWideRadius; ++y) {
        if (y > kWideRadius) {
            slideColumns(columns3, rows + (y + 1) * width, rows + (y - 2) * width, width);
            slideColumns(columns7, rows + (y + 3) * width, rows + (y - 4) * width, width);
        }
        sharpenRow(columns3, columns7, static_cast<std::int16_t>(gain), result.pixels.data() + y * width, width);
    }
    return result;
}

// A symbol read: its text and the corners of its modules in the picture.
struct ReadSymbol {
    std::string text;
    ZXing::Position corners;
};

std::vector<ReadSymbol> readSymbols(const Picture& picture, const ZXing::DecodeHints& hints) {
    const ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    std::vector<ReadSymbol> found;
    for (const auto& result : ZXing::ReadBarcodes(view, hints)) {
        if (result.isValid()) {
            found.push_back({result.text(), result.position()});
        }
    }
    return found;
}

// Paints the symbol, grown by a tenth about its centre to take in its edge, light. The corners come in order
// around the symbol, so a pixel is inside when it lies on the same side of all four edges.
void paintOver(Picture& picture, const ZXing::Position& corners) {
    double centreX = 0.0, centreY = 0.0;
    for (const auto& corner : corners) {
        centreX += corner.x / 4.0;
        centreY += corner.y / 4.0;
    }
    double xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
        xs[i] = centreX + (corners[i].x - centreX) * 1.1;
        ys[i] = centreY + (corners[i].y - centreY) * 1.1;
    }
    const int left = std::max(0, static_cast<int>(*std::min_element(xs, xs + 4)));
    const int right = std::min(picture.width - 1, static_cast<int>(*std::max_element(xs, xs + 4)) + 1);
    const int top = std::max(0, static_cast<int>(*std::min_element(ys, ys + 4)));
    const int bottom = std::min(picture.height - 1, static_cast<int>(*std::max_element(ys, ys + 4)) + 1);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            int sides = 0;
            for (int i = 0; i < 4; ++i) {
                const int next = (i + 1) % 4;
                const double cross = (xs[next] - xs[i]) * (y - ys[i]) - (ys[next] - ys[i]) * (x - xs[i]);
                sides += cross > 0.0 ? 1 : -1;
            }
            if (sides == 4 || sides == -4) {
                picture.at(x, y) = 255;
            }
        }
    }
}

// A few more searches at most for the symbols of a grid that one search misses.
constexpr int kMaskedSearches = 2;
// Searches of a picture that is expected to show a grid, whatever the forms: a grid's pictures that blend two
// of its frames, or lose a symbol at the screen's edge, would otherwise pay for every form in full.
constexpr int kGridSearches = 3;
// A presenter shows at most this many symbols at once; once read, no further search is needed.
constexpr std::size_t kMostSymbols = 6;

// What a thread remembers between pictures. A camera's conditions last: when the previous picture read
// only once sharpened, the next one most likely will too, so it is sharpened first and a blurred camera
// pays for one reading instead of two. Likewise a presenter showing several symbols per picture keeps
// showing that many, so a form that reads fewer than the recent pictures did is followed by the next one.
struct DetectionState {
    SharpeningScratch scratch;
    bool sharpenedFirst = false;
    std::size_t lastCount = 0; // symbols read from the previous picture
    std::size_t expected = 1;  // the most read from either of the last two pictures
    Picture masked;            // a form with the symbols read so far painted over
};

// Adds the texts not yet in `texts`; true when there was one.
bool addNew(std::vector<std::string>& texts, const std::vector<ReadSymbol>& found) {
    bool added = false;
    for (const auto& symbol : found) {
        if (std::find(texts.begin(), texts.end(), symbol.text) == texts.end()) {
            texts.push_back(symbol.text);
            added = true;
        }
    }
    return added;
}

// Reads one form of the picture into `texts`, spending searches from `searches`. The search pairs up finder
// patterns, and with many symbols in view it loses some of them among the pairings of neighbours' patterns;
// so when the form showed several symbols, or fewer than expected, the symbols read are painted over and the
// rest is searched again.
void readForm(const Picture& form, const ZXing::DecodeHints& hints, std::size_t expected,
              std::vector<std::string>& texts, Picture& masked, int& searches) {
    --searches;
    auto found = readSymbols(form, hints);
    if (!addNew(texts, found) || (texts.size() < 2 && texts.size() >= expected)) {
        return;
    }
    masked = form;
    for (int search = 0; search < kMaskedSearches && searches > 0 && texts.size() < kMostSymbols; ++search) {
        for (const auto& symbol : found) {
            paintOver(masked, symbol.corners);
        }
        --searches;
        found = readSymbols(masked, hints);
        if (!addNew(texts, found)) {
            break;
        }
    }
}

std::vector<std::string> readInAnyForm(const Picture& picture, DetectionState& state) {
    static const ZXing::DecodeHints localThreshold = qrHints(ZXing::Binarizer::LocalAverage);
    // A single threshold for the whole picture reads some sharp symbols the local one loses, at a slant
    // near the picture's edge; it is cheap and only misses pay for it.
    static const ZXing::DecodeHints globalThreshold = qrHints(ZXing::Binarizer::GlobalHistogram);
    const bool sharpenFirst = state.sharpenedFirst;
    using Form = std::function<const Picture&()>;
    const Form plain = [&]() -> const Picture& { return picture; };
    const Form soft = [&]() -> const Picture& { return sharpened(picture, kSharpenGain, state.scratch); };
    const Form strong = [&]() -> const Picture& { return sharpened(picture, kStrongSharpenGain, state.scratch); };
    const struct {
        const Form& form;
        const ZXing::DecodeHints& hints;
    } looks[] = {{sharpenFirst ? soft : plain, localThreshold},
                 {sharpenFirst ? plain : soft, localThreshold},
                 {strong, localThreshold},
                 {plain, globalThreshold}};
    std::vector<std::string> texts;
    int searches = state.expected > 1 ? kGridSearches : static_cast<int>(std::size(looks));
    for (std::size_t look = 0; look < std::size(looks) && texts.size() < state.expected && searches > 0; ++look) {
        const bool nothingYet = texts.empty();
        readForm(looks[look].form(), looks[look].hints, state.expected, texts, state.masked, searches);
        if (look == 1 && nothingYet && !texts.empty()) {
            state.sharpenedFirst = !state.sharpenedFirst;
        }
    }
    state.expected = std::max<std::size_t>({texts.size(), state.lastCount, 1});
    state.lastCount = texts.size();
    return texts;
}

} // namespace

std::vector<std::string> QrDetector::detect(const Picture& picture) {
    if (picture.empty()) {
        return {};
    }
    try {
        thread_local DetectionState state;
        return readInAnyForm(picture, state);
    } catch (const std::exception& error) { // the reader may throw on allocation failure
        LogManager::standard().log(std::string("QR detection failed: ") + error.what());
    }
    return {};
}

} // namespace vexaqr

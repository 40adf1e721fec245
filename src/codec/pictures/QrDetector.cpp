#include "codec/pictures/QrDetector.hpp"

#include "codec/platform/LogManager.hpp"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
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

const ZXing::DecodeHints& localThreshold() {
    static const ZXing::DecodeHints hints = qrHints(ZXing::Binarizer::LocalAverage);
    return hints;
}

// A single threshold for the whole picture reads some sharp symbols the local one loses, at a slant near the
// picture's edge; it is cheap and only misses pay for it.
const ZXing::DecodeHints& globalThreshold() {
    static const ZXing::DecodeHints hints = qrHints(ZXing::Binarizer::GlobalHistogram);
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

// Picture coordinates as complex numbers, so that a rotation with a scale is one multiplication.
using Point = std::complex<double>;

// The corners of a symbol's modules in the picture, as the reader gives them: the symbol's own top left, top
// right, bottom right and bottom left, whatever its orientation in the picture.
using Corners = std::array<Point, 4>;

Point centreOf(const Corners& corners) {
    return (corners[0] + corners[1] + corners[2] + corners[3]) / 4.0;
}

// A symbol read: its text and its corners.
struct Sighting {
    std::string text;
    Corners corners;
};

// A view of part of a picture, possibly enlarged: maps the reader's coordinates back onto the picture.
struct View {
    ZXing::ImageView image;
    Point origin = 0.0; // where the view's top left lies in the picture
    double scale = 1.0; // view pixels per picture pixel
};

View wholeView(const Picture& picture) {
    return {ZXing::ImageView(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum)};
}

std::vector<Sighting> readSymbols(const View& view, const ZXing::DecodeHints& hints) {
    std::vector<Sighting> found;
    for (const auto& result : ZXing::ReadBarcodes(view.image, hints)) {
        if (!result.isValid()) {
            continue;
        }
        Sighting sighting{result.text(), {}};
        for (int i = 0; i < 4; ++i) {
            const auto& corner = result.position()[i];
            sighting.corners[i] = view.origin + Point(corner.x, corner.y) / view.scale;
        }
        found.push_back(std::move(sighting));
    }
    return found;
}

// A rectangle of the picture.
struct Region {
    int left = 0, top = 0, width = 0, height = 0;
};

// The rectangle around `corners`, within the picture.
Region boundingBox(const Corners& corners, const Picture& picture) {
    double left = corners[0].real(), right = left, top = corners[0].imag(), bottom = top;
    for (const auto& corner : corners) {
        left = std::min(left, corner.real());
        right = std::max(right, corner.real());
        top = std::min(top, corner.imag());
        bottom = std::max(bottom, corner.imag());
    }
    Region region;
    region.left = std::clamp(static_cast<int>(left), 0, picture.width);
    region.top = std::clamp(static_cast<int>(top), 0, picture.height);
    region.width = std::clamp(static_cast<int>(right) + 1, 0, picture.width) - region.left;
    region.height = std::clamp(static_cast<int>(bottom) + 1, 0, picture.height) - region.top;
    return region;
}

View regionView(const Picture& picture, const Region& region) {
    const std::uint8_t* first =
        picture.pixels.data() + static_cast<std::size_t>(region.top) * picture.width + region.left;
    return {ZXing::ImageView(first, region.width, region.height, ZXing::ImageFormat::Lum, picture.width),
            Point(region.left, region.top)};
}

// One axis of a bilinear enlargement: for each output position, the source pixel at or before its centre and
// the weight, in sixteenths, of the pixel after it. Ends repeat the edge pixel.
struct Tap {
    int before = 0, after = 0;
    std::uint16_t weight = 0;
};

void fillTaps(int sourceLength, double scale, std::vector<Tap>& taps) {
    taps.resize(static_cast<std::size_t>(sourceLength * scale));
    for (std::size_t out = 0; out < taps.size(); ++out) {
        const double source = (static_cast<double>(out) + 0.5) / scale - 0.5;
        int before = static_cast<int>(std::floor(source));
        auto weight = static_cast<int>(std::lround((source - before) * 16.0));
        if (weight == 16) {
            ++before, weight = 0;
        }
        taps[out] = {std::clamp(before, 0, sourceLength - 1), std::clamp(before + 1, 0, sourceLength - 1),
                     static_cast<std::uint16_t>(weight)};
    }
}

// A row enlarged across, each value sixteen times the pixel.
void enlargeRow(const std::uint8_t* row, const std::vector<Tap>& taps, std::uint16_t* out) {
    for (std::size_t x = 0; x < taps.size(); ++x) {
        const Tap& tap = taps[x];
        out[x] = static_cast<std::uint16_t>((16 - tap.weight) * row[tap.before] + tap.weight * row[tap.after]);
    }
}

// The same between two rows enlarged across, rounded back to pixels; 16 × 16 × 255 plus the rounding fits 16
// bits, so the loop vectorises.
void blendRows(const std::uint16_t* upper, const std::uint16_t* lower, std::uint16_t weight, std::size_t width,
               std::uint8_t* out) {
    const auto upperWeight = static_cast<std::uint16_t>(16 - weight);
    for (std::size_t x = 0; x < width; ++x) {
        out[x] = static_cast<std::uint8_t>(
            static_cast<std::uint16_t>(upperWeight * upper[x] + weight * lower[x] + 128) >> 8);
    }
}

// Buffers of the enlargement, kept per thread like the sharpening's.
struct EnlargingScratch {
    std::vector<Tap> across, down;
    std::vector<std::uint16_t> upper, lower; // the source rows around the current output row, enlarged across
    int upperRow = -1, lowerRow = -1;        // which source rows they are
    Picture result;
};

// Makes `scratch.upper` and `scratch.lower` the source rows `tap` blends; an enlargement's consecutive output
// rows mostly share them.
void loadRows(const Picture& picture, const Region& region, const Tap& tap, EnlargingScratch& scratch) {
    const auto rowAt = [&](int y) {
        return picture.pixels.data() + static_cast<std::size_t>(region.top + y) * picture.width + region.left;
    };
    if (tap.before == scratch.lowerRow) {
        std::swap(scratch.upper, scratch.lower);
        std::swap(scratch.upperRow, scratch.lowerRow);
    }
    if (tap.before != scratch.upperRow) {
        enlargeRow(rowAt(tap.before), scratch.across, scratch.upper.data());
        scratch.upperRow = tap.before;
    }
    if (tap.after != scratch.lowerRow) {
        enlargeRow(rowAt(tap.after), scratch.across, scratch.lower.data());
        scratch.lowerRow = tap.after;
    }
}

// `region` of `picture` enlarged `scale` times with bilinear interpolation, in `scratch.result` (valid until the
// thread's next enlargement). At under four pixels a module the reader's one transform for the whole symbol
// drifts off the module centres; more pixels a module shrink that drift.
View enlarged(const Picture& picture, const Region& region, double scale, EnlargingScratch& scratch) {
    fillTaps(region.width, scale, scratch.across);
    fillTaps(region.height, scale, scratch.down);
    const std::size_t width = scratch.across.size();
    Picture& result = scratch.result;
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(scratch.down.size());
    result.pixels.resize(width * scratch.down.size());
    scratch.upper.resize(width);
    scratch.lower.resize(width);
    scratch.upperRow = scratch.lowerRow = -1;
    for (std::size_t y = 0; y < scratch.down.size(); ++y) {
        loadRows(picture, region, scratch.down[y], scratch);
        blendRows(scratch.upper.data(), scratch.lower.data(), scratch.down[y].weight, width,
                  result.pixels.data() + y * width);
    }
    return {ZXing::ImageView(result.pixels.data(), result.width, result.height, ZXing::ImageFormat::Lum),
            Point(region.left, region.top), scale};
}

// Paints the symbol, grown by a tenth about its centre to take in its edge, light. The corners come in order
// around the symbol, so a pixel is inside when it lies on the same side of all four edges.
void paintOver(Picture& picture, const Corners& corners) {
    const Point centre = centreOf(corners);
    Corners grown;
    for (int i = 0; i < 4; ++i) {
        grown[i] = centre + (corners[i] - centre) * 1.1;
    }
    const Region box = boundingBox(grown, picture);
    for (int y = box.top; y < box.top + box.height; ++y) {
        for (int x = box.left; x < box.left + box.width; ++x) {
            int sides = 0;
            for (int i = 0; i < 4; ++i) {
                const Point edge = grown[(i + 1) % 4] - grown[i];
                const Point toPixel = Point(x, y) - grown[i];
                const double cross = edge.real() * toPixel.imag() - edge.imag() * toPixel.real();
                sides += cross > 0.0 ? 1 : -1;
            }
            if (sides == 4 || sides == -4) {
                picture.at(x, y) = 255;
            }
        }
    }
}

// Where symbols may be: runs of blocks whose pixels span a wide range of brightness. Modules make every block of
// a symbol busy, while the quiet zones between a grid's symbols and the screen around them are calm, so each
// symbol comes out as one run of its own, found without pairing any finder patterns.
constexpr int kBlockSide = 8;
// A run narrower than this many blocks is too small for a symbol that needs help, or the edge of a screen; a
// run of busy blocks fills at least this share of its rectangle (the outline of a screen much less).
constexpr int kLeastSideBlocks = 4;
constexpr double kLeastFill = 0.4;
// A block is busy when its range is at least this share (in eighths) of the widest range in the picture.
constexpr int kBusyShareInEighths = 4;
// Nor is a block whose range is below this: sensor noise alone spans about that much, and would make the whole
// of a picture without symbols one region, read at the cost of several whole searches.
constexpr int kLeastBusyRange = 64;

// Regions are grown by this many blocks on each side: the reader's threshold and its finder patterns need some
// of the light quiet zone around a symbol.
constexpr int kMarginBlocks = 3;

// Buffers of the locator, kept per thread: a byte and an index per block, two bytes per column.
struct LocatorScratch {
    std::vector<std::uint8_t> busy;
    std::vector<std::uint8_t> darkest, lightest; // of each column of pixels in the current row of blocks
    std::vector<int> pending;
};

// What the locator found in a picture.
struct BusyRegions {
    std::vector<Region> regions;
    bool wholePictureBusy = false; // a busy region of nearly the whole picture was left out
};

// Marks each block busy (1) or calm (0), in `scratch.busy`; columns × rows blocks.
void markBusyBlocks(const Picture& picture, int columns, int rows, LocatorScratch& scratch) {
    scratch.busy.assign(static_cast<std::size_t>(columns) * rows, 0);
    const auto width = static_cast<std::size_t>(picture.width);
    int widest = 0;
    for (int row = 0; row < rows; ++row) {
        // Down the block row's columns of pixels first, a loop that vectorises, then across each block.
        const std::uint8_t* first = picture.pixels.data() + static_cast<std::size_t>(row) * kBlockSide * width;
        scratch.darkest.assign(first, first + width);
        scratch.lightest.assign(first, first + width);
        for (int y = 1; y < kBlockSide; ++y) {
            const std::uint8_t* pixels = first + y * width;
            for (std::size_t x = 0; x < width; ++x) {
                scratch.darkest[x] = std::min(scratch.darkest[x], pixels[x]);
                scratch.lightest[x] = std::max(scratch.lightest[x], pixels[x]);
            }
        }
        for (int column = 0; column < columns; ++column) {
            const auto from = static_cast<std::ptrdiff_t>(column) * kBlockSide;
            const int range =
                *std::max_element(scratch.lightest.begin() + from, scratch.lightest.begin() + from + kBlockSide) -
                *std::min_element(scratch.darkest.begin() + from, scratch.darkest.begin() + from + kBlockSide);
            scratch.busy[static_cast<std::size_t>(row) * columns + column] = static_cast<std::uint8_t>(range);
            widest = std::max(widest, range);
        }
    }
    const int threshold = std::max(kLeastBusyRange, widest * kBusyShareInEighths / 8);
    for (auto& block : scratch.busy) {
        block = block >= threshold ? 1 : 0;
    }
}

// The rectangles of the runs of busy blocks large and full enough for a symbol, grown on each side.
BusyRegions busyRegions(const Picture& picture, LocatorScratch& scratch) {
    const int columns = picture.width / kBlockSide, rows = picture.height / kBlockSide;
    BusyRegions found;
    if (columns < 3 || rows < 3) {
        return found;
    }
    markBusyBlocks(picture, columns, rows, scratch);
    for (int start = 0; start < columns * rows; ++start) {
        if (scratch.busy[static_cast<std::size_t>(start)] != 1) {
            continue;
        }
        int left = columns, right = 0, top = rows, bottom = 0, count = 0;
        scratch.pending.assign(1, start);
        scratch.busy[static_cast<std::size_t>(start)] = 2; // taken
        while (!scratch.pending.empty()) {
            const int block = scratch.pending.back();
            scratch.pending.pop_back();
            const int column = block % columns, row = block / columns;
            left = std::min(left, column), right = std::max(right, column);
            top = std::min(top, row), bottom = std::max(bottom, row);
            ++count;
            for (int y = std::max(0, row - 1); y <= std::min(rows - 1, row + 1); ++y) {
                for (int x = std::max(0, column - 1); x <= std::min(columns - 1, column + 1); ++x) {
                    if ((x == column) == (y == row)) {
                        continue; // the block itself, or a diagonal: a corner touching a corner is a calm gap
                    }
                    auto& neighbour = scratch.busy[static_cast<std::size_t>(y) * columns + x];
                    if (neighbour == 1) {
                        neighbour = 2;
                        scratch.pending.push_back(y * columns + x);
                    }
                }
            }
        }
        const int area = (right - left + 1) * (bottom - top + 1);
        const bool squat = std::min(right - left, bottom - top) + 1 < kLeastSideBlocks;
        const bool wholePicture = area > columns * rows * 3 / 4; // no better than the whole search that follows
        found.wholePictureBusy |= wholePicture;
        if (!squat && !wholePicture && count >= kLeastFill * area) {
            const int x0 = std::max(0, left - kMarginBlocks) * kBlockSide;
            const int y0 = std::max(0, top - kMarginBlocks) * kBlockSide;
            const int x1 = std::min(picture.width, (right + 1 + kMarginBlocks) * kBlockSide);
            const int y1 = std::min(picture.height, (bottom + 1 + kMarginBlocks) * kBlockSide);
            found.regions.push_back({x0, y0, x1 - x0, y1 - y0});
        }
    }
    return found;
}

bool contains(const Region& region, Point point) {
    return point.real() >= region.left && point.real() < region.left + region.width && point.imag() >= region.top &&
           point.imag() < region.top + region.height;
}

// A few more searches at most for the symbols of a grid that one search misses.
constexpr int kMaskedSearches = 2;
// Passes over a picture that is expected to show a grid, whatever the forms: a grid's pictures that blend two
// of its frames, or lose a symbol at the screen's edge, would otherwise pay for every form in full.
constexpr int kGridSearches = 2;
// Only the first two looks, as it is and sharpened, also read their regions enlarged: the sharpened form
// enlarged reads some soft pictures that neither reads as it is; in the later looks enlarging rarely adds a
// symbol and would only add to the cost of pictures that cannot be read.
constexpr std::size_t kEnlargingLooks = 2;
// A presenter shows at most this many symbols at once; once read, no further search is needed.
constexpr std::size_t kMostSymbols = 6;
// Enlarged regions per picture at most: each costs up to four times its region, and a grid's picture that
// blends two frames would otherwise pay for every symbol.
constexpr int kMostEnlargements = 2;
// Modules wider than this many pixels are sampled well enough as they are; below it, soft ones read better
// enlarged.
constexpr double kLargestEnlargedModule = 6.5;
// Modules wider than this (as modulePixels sees them, which is about a seventh over their true width) are
// enlarged less, to about kTargetModule pixels but at least kLeastEnlargement times: that samples them as well as
// doubling at as little as half its cost. Below it doubling reads more symbols than a fractional scale.
constexpr double kLeastReducedModule = 4.5;
constexpr double kTargetModule = 8.0;
constexpr double kLeastEnlargement = 1.5;
// Regions larger than this are not enlarged, which bounds the enlargement's buffer at 4 × 2^21 bytes.
constexpr int kMostEnlargedPixels = 1 << 21;
// Modules this wide (as modulePixels sees them) leave blocks of the locator inside one module calm, so a region
// may hold only a part of its symbol.
constexpr double kCoarseModule = kBlockSide;

// What a thread remembers between pictures. A camera's conditions last: when the previous picture read
// only once sharpened, the next one most likely will too, so it is sharpened first and a blurred camera
// pays for one reading instead of two. Likewise a presenter showing several symbols per picture keeps
// showing that many, so a form that reads fewer than the recent pictures did is followed by the next one.
struct DetectionState {
    SharpeningScratch scratch;
    EnlargingScratch enlarging;
    bool sharpenedFirst = false;
    std::size_t lastCount = 0; // symbols read from the previous picture
    std::size_t expected = 1;  // the most read from either of the last two pictures
    LocatorScratch locator;
    Picture masked; // a form with the symbols read so far painted over
};

// What the readings of one picture found so far.
struct Reading {
    std::vector<std::string> texts;
    std::vector<Corners> readAt;     // where each text was read, in the same order
    int enlargements = 0;            // regions read enlarged, in all forms
    bool searchedWhole = false;      // some form was searched as a whole
    bool coarseRegionUnread = false; // a region with modules wider than the locator's blocks went unread

    // A symbol was read in `region`.
    bool holdsRead(const Region& region) const {
        return std::any_of(readAt.begin(), readAt.end(),
                           [&](const auto& symbol) { return contains(region, centreOf(symbol)); });
    }

    // Adds the texts not yet read; true when there was one.
    bool add(const std::vector<Sighting>& found) {
        bool added = false;
        for (const auto& symbol : found) {
            if (std::find(texts.begin(), texts.end(), symbol.text) == texts.end()) {
                texts.push_back(symbol.text);
                readAt.push_back(symbol.corners);
                added = true;
            }
        }
        return added;
    }
};

// What the locator finds in `form`, without the regions where a symbol has been read.
BusyRegions unreadRegions(const Picture& form, const Reading& reading, LocatorScratch& scratch) {
    auto found = busyRegions(form, scratch);
    auto& regions = found.regions;
    regions.erase(
        std::remove_if(regions.begin(), regions.end(), [&](const Region& region) { return reading.holdsRead(region); }),
        regions.end());
    return found;
}

// Reads each region as it is: the search in a region costs a fraction of the whole picture's, and the finder
// patterns of a grid's neighbours stay out of its pairing.
void readRegions(const Picture& form, const std::vector<Region>& regions, const ZXing::DecodeHints& hints,
                 Reading& reading) {
    for (const auto& region : regions) {
        if (reading.texts.size() < kMostSymbols) {
            reading.add(readSymbols(regionView(form, region), hints));
        }
    }
}

// About how many pixels a module spans in `region`: the mean run of light or dark pixels along a few rows,
// split against each row's mid-grey, is two modules where the modules are random.
double modulePixels(const Picture& form, const Region& region) {
    constexpr int kRows = 16;
    long runs = 0, pixels = 0;
    for (int i = 1; i <= kRows; ++i) {
        const int y = region.top + region.height * i / (kRows + 1);
        const std::uint8_t* row = form.pixels.data() + static_cast<std::size_t>(y) * form.width + region.left;
        const auto [darkest, lightest] = std::minmax_element(row, row + region.width);
        const int middle = (*darkest + *lightest) / 2;
        for (int x = 1; x < region.width; ++x) {
            runs += (row[x] > middle) != (row[x - 1] > middle) ? 1 : 0;
        }
        pixels += region.width;
    }
    return static_cast<double>(pixels) / static_cast<double>(2 * (runs + kRows));
}

// How many times to enlarge a region whose modules span `modules` pixels; 0 when they are large enough as they
// are.
double enlargement(double modules) {
    if (modules >= kLargestEnlargedModule) {
        return 0.0;
    }
    return modules < kLeastReducedModule ? 2.0 : std::clamp(kTargetModule / modules, kLeastEnlargement, 2.0);
}

// Reads each region still unread enlarged, unless it is too large to or its modules are large enough; with one
// threshold for the whole region when the local one fails, which reads a few more of the enlarged symbols.
void readEnlargedRegions(const Picture& form, const std::vector<Region>& regions, const ZXing::DecodeHints& hints,
                         DetectionState& state, Reading& reading) {
    for (const auto& region : regions) {
        if (reading.enlargements == kMostEnlargements) {
            return;
        }
        if (reading.holdsRead(region) || reading.texts.size() >= kMostSymbols ||
            region.width * region.height > kMostEnlargedPixels) {
            continue;
        }
        const double modules = modulePixels(form, region);
        reading.coarseRegionUnread |= modules >= kCoarseModule;
        const double scale = enlargement(modules);
        if (scale > 0.0) {
            const View view = enlarged(form, region, scale, state.enlarging);
            if (!reading.add(readSymbols(view, hints))) {
                reading.add(readSymbols(view, globalThreshold()));
            }
            ++reading.enlargements;
        }
    }
}

// Reads one form of the picture, spending searches from `searches`: first where the locator sees symbols, as
// they are, then in the look `byRegion` enlarged; then, when the locator saw fewer symbols than expected or a
// symbol may fill the picture, the whole picture. That search pairs up finder patterns, and with many symbols in view
// it loses some of them among the pairings of neighbours' patterns; so when it added symbols but still fewer than
// expected, those read are painted over and the rest is searched again.
void readForm(const Picture& form, const ZXing::DecodeHints& hints, bool byRegion, DetectionState& state,
              Reading& reading, int& searches) {
    --searches;
    const std::size_t before = reading.texts.size();
    const auto [regions, wholePictureBusy] = unreadRegions(form, reading, state.locator);
    readRegions(form, regions, hints, reading);
    if (byRegion && reading.texts.size() < state.expected) {
        readEnlargedRegions(form, regions, hints, state, reading);
    }
    // A symbol that fills the picture is no region of its own, so a small busy patch beside it must not stand in
    // for it.
    const bool regionsStandForAll = !wholePictureBusy && before + regions.size() >= state.expected;
    if (reading.texts.size() >= state.expected || regionsStandForAll || searches <= 0) {
        return;
    }
    --searches;
    const std::size_t beforeWhole = reading.texts.size();
    reading.searchedWhole = true;
    reading.add(readSymbols(wholeView(form), hints));
    if (reading.texts.size() == beforeWhole || reading.texts.size() >= state.expected) {
        return;
    }
    state.masked = form;
    for (int search = 0; search < kMaskedSearches && searches > 0 && reading.texts.size() < kMostSymbols; ++search) {
        for (const auto& symbol : reading.readAt) {
            paintOver(state.masked, symbol);
        }
        --searches;
        if (!reading.add(readSymbols(wholeView(state.masked), hints))) {
            break;
        }
    }
}

std::vector<std::string> readInAnyForm(const Picture& picture, DetectionState& state) {
    const bool sharpenFirst = state.sharpenedFirst;
    using Form = std::function<const Picture&()>;
    const Form plain = [&]() -> const Picture& { return picture; };
    const Form soft = [&]() -> const Picture& { return sharpened(picture, kSharpenGain, state.scratch); };
    const Form strong = [&]() -> const Picture& { return sharpened(picture, kStrongSharpenGain, state.scratch); };
    const struct {
        const Form& form;
        const ZXing::DecodeHints& hints;
    } looks[] = {{sharpenFirst ? soft : plain, localThreshold()},
                 {sharpenFirst ? plain : soft, localThreshold()},
                 {strong, localThreshold()},
                 {plain, globalThreshold()}};
    Reading reading;
    int searches = state.expected > 1 ? kGridSearches : static_cast<int>(std::size(looks));
    for (std::size_t look = 0; look < std::size(looks) && reading.texts.size() < state.expected && searches > 0;
         ++look) {
        const bool nothingYet = reading.texts.empty();
        readForm(looks[look].form(), looks[look].hints, look < kEnlargingLooks, state, reading, searches);
        if (look == 1 && nothingYet && !reading.texts.empty()) {
            state.sharpenedFirst = !state.sharpenedFirst;
        }
    }
    // A region can hold a part of a symbol whose modules are larger than the locator's blocks, and then no
    // look searched further; such a picture that gave nothing is searched whole once before it counts as unread.
    if (reading.texts.empty() && reading.coarseRegionUnread && !reading.searchedWhole) {
        reading.add(readSymbols(wholeView(picture), localThreshold()));
    }
    state.expected = std::max<std::size_t>({reading.texts.size(), state.lastCount, 1});
    state.lastCount = reading.texts.size();
    return reading.texts;
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

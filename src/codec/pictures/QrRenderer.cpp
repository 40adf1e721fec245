#include "codec/pictures/QrRenderer.hpp"

#include "codec/pictures/QrSymbolCapacity.hpp"

#include "codec/platform/CHandle.hpp"

#include <qrencode.h>

#include <algorithm>

namespace vexaqr {

namespace {

using QrInputPtr = CHandle<QRinput, QRinput_free>;
using QrCodePtr = CHandle<QRcode, QRcode_free>;

constexpr int kAutomaticVersion = 0;

// Maps each target coordinate to the module (or quiet-zone cell, as -1) it shows.
std::vector<int> nearestModules(int targetLength, int symbolSize) {
    const int cells = symbolSize + 2 * QrRenderer::kQuietZone;
    std::vector<int> map(static_cast<std::size_t>(targetLength));
    for (int i = 0; i < targetLength; ++i) {
        const int cell = static_cast<int>(static_cast<std::int64_t>(i) * cells / targetLength);
        const int module = cell - QrRenderer::kQuietZone;
        map[static_cast<std::size_t>(i)] = module >= 0 && module < symbolSize ? module : -1;
    }
    return map;
}

// An alphanumeric-mode symbol at level L of at least `minimumVersion` (0: the smallest that holds the text).
std::optional<QrSymbol> encode(std::string_view text, int minimumVersion) {
    if (text.empty()) {
        return std::nullopt;
    }
    QrInputPtr input(QRinput_new2(minimumVersion, QR_ECLEVEL_L));
    if (!input) {
        return std::nullopt;
    }
    // Appending in QR_MODE_AN refuses any character outside the alphanumeric set instead of
    // silently switching to byte mode.
    if (QRinput_append(input.get(), QR_MODE_AN, static_cast<int>(text.size()),
                       reinterpret_cast<const unsigned char*>(text.data())) != 0) {
        return std::nullopt;
    }
    QrCodePtr code(QRcode_encodeInput(input.get()));
    if (!code) {
        return std::nullopt;
    }
    QrSymbol symbol;
    symbol.version = code->version;
    symbol.size = code->width;
    const auto count = static_cast<std::size_t>(code->width) * code->width;
    symbol.modules.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        symbol.modules[i] = (code->data[i] & 1) != 0;
    }
    return symbol;
}

// Draws the symbol with its quiet zone stretched over the `width` × `height` rectangle at (left, top).
void drawInRectangle(const QrSymbol& symbol, Picture& target, int left, int top, int width, int height) {
    const auto columns = nearestModules(width, symbol.size);
    const auto rows = nearestModules(height, symbol.size);
    const auto stride = static_cast<std::size_t>(target.width);
    for (int y = 0; y < height; ++y) {
        const int row = rows[static_cast<std::size_t>(y)];
        std::uint8_t* line =
            &target.pixels[static_cast<std::size_t>(top + y) * stride + static_cast<std::size_t>(left)];
        if (y > 0 && row == rows[static_cast<std::size_t>(y) - 1]) {
            std::copy_n(line - stride, width, line); // same module row as the line above
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const int column = columns[static_cast<std::size_t>(x)];
            const bool dark = row >= 0 && column >= 0 && symbol.isDark(column, row);
            line[x] = dark ? 0 : 255;
        }
    }
}

} // namespace

std::optional<QrSymbol> QrRenderer::render(std::string_view text) {
    return encode(text, kAutomaticVersion);
}

std::optional<QrSymbol> QrRenderer::render(std::string_view text, int version) {
    // The encoder would move to a larger version instead of failing; checking first keeps the size.
    if (text.size() > QrSymbolCapacity::alphanumericCharacters(version)) {
        return std::nullopt;
    }
    auto symbol = encode(text, version);
    if (!symbol || symbol->version != version) {
        return std::nullopt;
    }
    return symbol;
}

void QrRenderer::draw(const QrSymbol& symbol, Picture& target) {
    drawInRectangle(symbol, target, 0, 0, target.width, target.height);
}

void QrRenderer::draw(const QrSymbol& symbol, Picture& target, const GridCell& cell) {
    const bool inside = cell.left >= 0 && cell.top >= 0 && cell.side >= 0 && cell.left + cell.side <= target.width &&
                        cell.top + cell.side <= target.height;
    if (inside) {
        drawInRectangle(symbol, target, cell.left, cell.top, cell.side, cell.side);
    }
}

Picture QrRenderer::picture(const QrSymbol& symbol) {
    const int side = symbol.size + 2 * kQuietZone;
    Picture result(side, side);
    draw(symbol, result);
    return result;
}

} // namespace vexaqr

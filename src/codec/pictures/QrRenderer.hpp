// QrRenderer: frame text to QR symbol, and a symbol drawn onto a picture.
//
// Stateless and thread-safe. Frames travel as base-45 text, so the symbol is always made in the
// alphanumeric mode at error-correction level L: an 870-character LT frame fits version 17, where
// byte mode would need a larger version.
#pragma once

#include "codec/pictures/SymbolGrid.hpp"
#include <vexaqr/views/Picture.hpp>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vexaqr {

/// The modules of one QR symbol, without quiet zone: `size` × `size`, row-major, true = dark.
struct QrSymbol {
    int version = 0;
    int size = 0;
    std::vector<bool> modules;

    bool isDark(int x, int y) const { return modules[static_cast<std::size_t>(y) * size + x]; }
};

class QrRenderer final {
public:
    /// Light modules kept around the symbol so readers find its edge.
    static constexpr int kQuietZone = 4;

    /// The smallest alphanumeric-mode symbol at level L holding `text`; nothing when `text` has a
    /// character outside "0-9A-Z $%*+-./:" or does not fit version 40.
    static std::optional<QrSymbol> render(std::string_view text);

    /// `text` in an alphanumeric-mode symbol of exactly `version` at level L (so every frame of a
    /// presentation can share one size); nothing when the text does not fit that version (see
    /// QrSymbolCapacity), has a character outside the set, or the version is outside 1 to 40.
    static std::optional<QrSymbol> render(std::string_view text, int version);

    /// Draws `symbol` with its quiet zone stretched over the whole of `target`, nearest neighbour
    /// (modules stay sharp-edged). A target of 0 × 0 stays empty.
    static void draw(const QrSymbol& symbol, Picture& target);

    /// Draws `symbol` with its quiet zone over `cell` of `target` only; a cell reaching outside the target
    /// draws nothing.
    static void draw(const QrSymbol& symbol, Picture& target, const GridCell& cell);

    /// The symbol with its quiet zone at one pixel per module.
    static Picture picture(const QrSymbol& symbol);
};

} // namespace vexaqr

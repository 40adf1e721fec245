// TerminalCanvas: a live display on a text terminal, two pixel rows per character row drawn with
// Unicode half blocks in black on white, each picture drawn over the previous one in place.
#pragma once

#include <vexaqr/views/Canvas.hpp>

#include <ostream>

namespace vexaqr {

class TerminalCanvas final : public Canvas {
public:
    /// Draws on `out`, which must outlive the canvas. `side` is in pixels: `side` columns and
    /// (side + 1) / 2 rows of characters.
    TerminalCanvas(std::ostream& out, int side);

    int width() const override { return _side; }
    int height() const override { return _side; }
    bool draw(const Picture& picture, std::chrono::milliseconds shownFor) override;

private:
    std::ostream& _out;
    int _side;
    int _rowsDrawn = 0;
};

} // namespace vexaqr
